// Processes out of what the player holds: the items taken from the stock, and the process rebuilt over what is left
// of it, so that its money is what is still to spend.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "plan/chain.h"
#include "plan/planner.h"

namespace mox::plan {

namespace {

// The items each node can still use: its own and those of every node it can reach.
std::vector<Stock> reachableUses(const std::vector<Node>& nodes, const Uses& uses) {
  const size_t n = nodes.size();
  std::vector<Stock> out(n);
  for (size_t i = 0; i < n; ++i) {
    std::vector<char> seen(n, 0);
    std::vector<size_t> todo{i};
    seen[i] = 1;
    while (!todo.empty()) {
      const size_t at = todo.back();
      todo.pop_back();
      for (size_t k = 0; k < out[i].size(); ++k) out[i][k] = std::max(out[i][k], uses[at][k]);
      for (const Move& m : nodes[at].moves) {
        if (m.to == kDone || seen[static_cast<size_t>(m.to)]) continue;
        seen[static_cast<size_t>(m.to)] = 1;
        todo.push_back(static_cast<size_t>(m.to));
      }
    }
  }
  return out;
}

// x = b + A x over some of a process's nodes (the unknowns), A their moves among themselves; the unknowns come in
// blocks that move only among themselves or to blocks before them, so each block's (I - A) is factored once (LU
// with partial pivoting) and solved in turn.
class BlockSolver {
 public:
  BlockSolver(const std::vector<Node>& nodes, const std::vector<size_t>& unknown, const std::vector<int>& blocks) {
    std::vector<int> at(nodes.size(), -1);
    for (size_t u = 0; u < unknown.size(); ++u) at[unknown[u]] = static_cast<int>(u);
    cross_.resize(unknown.size());
    for (size_t u = 0; u < unknown.size();) {
      size_t end = u + 1;
      while (end < unknown.size() && !blocks.empty() && blocks[unknown[end]] == blocks[unknown[u]]) ++end;
      if (blocks.empty()) end = unknown.size();
      Block b{u, end - u, {}, {}};
      const size_t z = b.size;
      b.lu.assign(z * z, 0.0);
      for (size_t r = 0; r < z; ++r) {
        b.lu[r * z + r] += 1;
        for (const Move& m : nodes[unknown[u + r]].moves) {
          if (m.to == kDone || at[static_cast<size_t>(m.to)] < 0) continue;
          const auto col = static_cast<size_t>(at[static_cast<size_t>(m.to)]);
          if (col >= u && col < end)
            b.lu[r * z + (col - u)] -= m.p;
          else
            cross_[u + r].emplace_back(col, m.p);
        }
      }
      b.pivot.resize(z);
      for (size_t c = 0; c < z; ++c) {
        size_t best = c;
        for (size_t r = c + 1; r < z; ++r) {
          if (std::fabs(b.lu[r * z + c]) > std::fabs(b.lu[best * z + c])) best = r;
        }
        b.pivot[c] = best;
        if (best != c) {
          for (size_t k = 0; k < z; ++k) std::swap(b.lu[c * z + k], b.lu[best * z + k]);
        }
        if (b.lu[c * z + c] == 0) continue;
        for (size_t r = c + 1; r < z; ++r) {
          const double f = b.lu[r * z + c] /= b.lu[c * z + c];
          if (f == 0) continue;
          for (size_t k = c + 1; k < z; ++k) b.lu[r * z + k] -= f * b.lu[c * z + k];
        }
      }
      blocks_.push_back(std::move(b));
      u = end;
    }
  }

  // `x` holds b on the way in and the solution on the way out, by unknown.
  void solve(std::vector<double>& x) const {
    for (const Block& b : blocks_) {
      const size_t z = b.size;
      double* v = x.data() + b.first;
      for (size_t r = 0; r < z; ++r) {
        for (const auto& [col, p] : cross_[b.first + r]) v[r] += p * x[col];
      }
      // The factoring swapped whole rows, the multipliers found so far with them: every swap first, then L.
      for (size_t c = 0; c < z; ++c) std::swap(v[c], v[b.pivot[c]]);
      for (size_t c = 0; c < z; ++c) {
        for (size_t r = c + 1; r < z; ++r) v[r] -= b.lu[r * z + c] * v[c];
      }
      for (size_t c = z; c-- > 0;) {
        for (size_t k = c + 1; k < z; ++k) v[c] -= b.lu[c * z + k] * v[k];
        v[c] = b.lu[c * z + c] != 0 ? v[c] / b.lu[c * z + c] : 0;
      }
    }
  }

 private:
  struct Block {
    size_t first, size;
    std::vector<double> lu;
    std::vector<size_t> pivot;
  };
  std::vector<Block> blocks_;
  std::vector<std::vector<std::pair<size_t, double>>> cross_;
};

// P(U <= k) for k = 0, 1, ..., U the units a process uses up in all when each visit to a node uses its cost in
// units (0 or more): the values at k need those a visit's units back, and among the nodes that use nothing a
// linear system, factored once and solved for every k.
class UnitsCdf {
 public:
  UnitsCdf(const std::vector<Node>& nodes, int start, const std::vector<int>& blocks)
      : nodes_(nodes), start_(static_cast<size_t>(start)), solver_(nodes, zeroNodes(nodes), blocks) {
    Steps most = 0;
    for (const Node& n : nodes) most = std::max(most, n.cost);
    zero_ = zeroNodes(nodes);
    ring_ = static_cast<size_t>(most) + 1;
    values_.assign(ring_ * nodes.size(), 0.0);
    isZero_.assign(nodes.size(), 0);
    for (size_t z : zero_) isZero_[z] = 1;
  }

  // F at the next k.
  double next() {
    const Steps k = k_++;
    const size_t now = static_cast<size_t>(k) % ring_;
    auto at = [&](int to, Steps amount) {
      if (to == kDone) return 1.0;
      return values_[static_cast<size_t>(to) * ring_ + static_cast<size_t>(amount) % ring_];
    };
    for (size_t i = 0; i < nodes_.size(); ++i) {
      if (isZero_[i]) continue;
      const Steps back = k - nodes_[i].cost;
      double v = 0;
      if (back >= 0) {
        for (const Move& m : nodes_[i].moves) v += m.p * at(m.to, back);
      }
      values_[i * ring_ + now] = v;
    }
    std::vector<double> x(zero_.size(), 0.0);
    for (size_t r = 0; r < zero_.size(); ++r) {
      for (const Move& m : nodes_[zero_[r]].moves) {
        if (m.to == kDone || !isZero_[static_cast<size_t>(m.to)]) x[r] += m.p * at(m.to, k);
      }
    }
    solver_.solve(x);
    for (size_t r = 0; r < zero_.size(); ++r) values_[zero_[r] * ring_ + now] = x[r];
    return values_[start_ * ring_ + now];
  }

 private:
  static std::vector<size_t> zeroNodes(const std::vector<Node>& nodes) {
    std::vector<size_t> out;
    for (size_t i = 0; i < nodes.size(); ++i) {
      if (nodes[i].cost == 0) out.push_back(i);
    }
    return out;
  }

  const std::vector<Node>& nodes_;
  size_t start_, ring_ = 1;
  BlockSolver solver_;
  std::vector<size_t> zero_;
  std::vector<char> isZero_;
  std::vector<double> values_;
  Steps k_ = 0;
};

// What is left of a stock, by item code.
using Left = std::array<int32_t, kItemKinds>;

// The states of a process out of a stock: a node of the process and what is left of the stock that it can still
// use, each with what a visit costs and where it moves.
class StateSpace {
 public:
  StateSpace(const std::vector<Node>& nodes, const Uses& uses, const Stock& stock, const Branches* otherwise)
      : nodes_(nodes), uses_(uses), stock_(stock), otherwise_(otherwise) {
    // The items tracked: those some node uses and the stock holds; each with a count of what is left, 0..held.
    for (size_t k = 0; k < stock.size(); ++k) {
      bool used = false;
      for (const Stock& u : uses) used = used || u[k] > 0;
      if (used && stock[k] > 0) items_.push_back(k);
    }
    // What each node can still use, through its moves and its branch's other way.
    std::vector<Node> paths = nodes;
    for (size_t i = 0; i < paths.size(); ++i) {
      if (branchOf(i) >= 0) paths[i].moves.push_back({0, branchOf(i)});
    }
    reach_ = reachableUses(paths, uses);
  }

  // Keys must not wrap: the product of the counts plus one, times the nodes, stays below 2^63.
  bool keysFit() const {
    double span = static_cast<double>(nodes_.size());
    for (size_t k : items_) span *= static_cast<double>(stock_[k]) + 1;
    return span < 9.2e18;
  }

  // All of the stock, as the process starts.
  Left whole() const {
    Left left{};
    for (size_t k : items_) left[k] = stock_[k];
    return left;
  }

  // The state of `node` with `left`, added when new. A branch with nothing left to take is its other way.
  int find(size_t node, Left left) {
    for (int other; (other = branchOf(node)) >= 0;) {
      bool held = false;
      for (size_t k = 0; k < uses_[node].size(); ++k) held = held || (uses_[node][k] > 0 && left[k] > 0);
      if (held) break;
      node = static_cast<size_t>(other);
    }
    left = canonical(node, left);
    const uint64_t key = keyOf(node, left);
    const auto [it, added] = index_.emplace(key, static_cast<int>(states_.size()));
    if (added) {
      int64_t total = 0;
      for (size_t k : items_) total += left[k];
      const auto block = blockOf_.emplace(keyOf(0, left), static_cast<int>(blockOf_.size())).first->second;
      states_.push_back({node, left, total, block});
    }
    return it->second;
  }

  // What a visit to each state costs and where it moves, adding the states it reaches. False when there would be
  // more than kMaxStockNodes.
  bool expand() {
    for (size_t s = 0; s < states_.size(); ++s) {
      if (states_.size() > kMaxStockNodes) return false;
      if ((s & 4095) == 0) stopIfCancelled();
      const State here = states_[s];
      const Stock& use = uses_[here.node];
      Left after = here.left;
      Steps cost = 0;
      for (size_t k = 0; k < use.size(); ++k) {
        const int32_t bought = std::max(0, use[k] - here.left[k]);
        cost += static_cast<Steps>(bought) * priceSteps(static_cast<int32_t>(k + 1));
        after[k] = std::max(0, here.left[k] - use[k]);
      }
      std::vector<Move> next;
      for (const Move& m : nodes_[here.node].moves) {
        next.push_back(m.to == kDone ? m : Move{m.p, find(static_cast<size_t>(m.to), after)});
      }
      moves_.push_back(std::move(next));
      costs_.push_back(cost);
    }
    return true;
  }

  // The states as nodes, the least left first and a block's together: a visit that costs nothing takes from the
  // stock and so moves to a state figured before it. With the node each stands for and its block; returns where
  // the state `begin` went.
  int write(int begin, std::vector<Node>& out, std::vector<size_t>& origin, std::vector<int>& blocks) const {
    std::vector<int> order(states_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      const State &x = states_[static_cast<size_t>(a)], &y = states_[static_cast<size_t>(b)];
      return x.total != y.total ? x.total < y.total : x.block < y.block;
    });
    std::vector<int> place(states_.size());
    for (size_t i = 0; i < order.size(); ++i) place[static_cast<size_t>(order[i])] = static_cast<int>(i);
    out.reserve(states_.size());
    origin.reserve(states_.size());
    blocks.reserve(states_.size());
    for (int s : order) {
      Node node{.cost = costs_[static_cast<size_t>(s)], .moves = moves_[static_cast<size_t>(s)]};
      for (Move& m : node.moves) {
        if (m.to != kDone) m.to = place[static_cast<size_t>(m.to)];
      }
      out.push_back(std::move(node));
      origin.push_back(states_[static_cast<size_t>(s)].node);
      blocks.push_back(states_[static_cast<size_t>(s)].block);
    }
    return place[static_cast<size_t>(begin)];
  }

 private:
  struct State {
    size_t node;
    Left left;
    int64_t total;
    int block;
  };

  int branchOf(size_t node) const { return otherwise_ ? (*otherwise_)[node] : -1; }
  // What is left that the node can still use; the rest counts as gone, so that states differing only there are one.
  Left canonical(size_t node, Left left) const {
    for (size_t k : items_) {
      if (reach_[node][k] == 0) left[k] = 0;
    }
    return left;
  }
  uint64_t keyOf(size_t node, const Left& left) const {
    uint64_t key = node;
    for (size_t k : items_) key = key * (static_cast<uint64_t>(stock_[k]) + 1) + static_cast<uint64_t>(left[k]);
    return key;
  }

  const std::vector<Node>& nodes_;
  const Uses& uses_;
  const Stock& stock_;
  const Branches* otherwise_;
  std::vector<size_t> items_;
  std::vector<Stock> reach_;
  std::vector<State> states_;
  std::unordered_map<uint64_t, int> index_, blockOf_;
  std::vector<std::vector<Move>> moves_;
  std::vector<Steps> costs_;
};

}  // namespace

bool stockMatters(const Uses& uses, const Stock& stock) {
  for (const Stock& u : uses) {
    for (size_t k = 0; k < u.size(); ++k) {
      if (u[k] > 0 && stock[k] > 0) return true;
    }
  }
  return false;
}

double expectedQ(const std::vector<Node>& nodes, int start, const std::vector<int>& blocks) {
  std::vector<size_t> all(nodes.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  std::vector<double> x(nodes.size());
  for (size_t i = 0; i < x.size(); ++i) x[i] = toQ(nodes[i].cost);
  BlockSolver(nodes, all, blocks).solve(x);
  return x[static_cast<size_t>(start)];
}

ItemCounts takenFromStock(const std::vector<Node>& nodes, const Uses& uses, int start, const Stock& stock,
                          const std::vector<int>& blocks) {
  ItemCounts taken{};
  for (size_t item = 0; item < stock.size(); ++item) {
    if (stock[item] <= 0) continue;
    std::vector<Node> units = nodes;
    bool used = false;
    for (size_t i = 0; i < units.size(); ++i) {
      units[i].cost = uses[i][item];
      used = used || units[i].cost > 0;
    }
    if (!used) continue;
    // E[min(U, S)] = the sum over k < S of P(U > k); past where P(U > k) is below what a double adds to the sum,
    // the rest is left out.
    UnitsCdf cdf(units, start, blocks);
    // The rounding of many moves' chances can hold F a few units of 1e-15 below 1: once P(U > k) stops falling
    // there, the rest is rounding too (a stock of billions would otherwise be walked item by item).
    double sum = 0, last = 1;
    for (int32_t k = 0; k < stock[item]; ++k) {
      if ((k & 1023) == 0) stopIfCancelled();
      const double more = 1 - cdf.next();
      if (more < 1e-17 || (more < 1e-12 && more >= last)) break;
      sum += more;
      last = more;
    }
    taken[item] = sum;
  }
  return taken;
}

StockProcess::StockProcess(const std::vector<Node>& nodes, const Uses& uses, int start, const Stock& stock,
                           const Branches* otherwise)
    : given_(uses) {
  StateSpace space(nodes, uses, stock, otherwise);
  if (!space.keysFit()) return;
  const int begin = space.find(static_cast<size_t>(start), space.whole());
  if (!space.expand()) return;
  start_ = space.write(begin, nodes_, origin_, blocks_);
}

Uses StockProcess::uses() const {
  Uses out;
  out.reserve(origin_.size());
  for (size_t node : origin_) out.push_back(given_[node]);
  return out;
}

}  // namespace mox::plan
