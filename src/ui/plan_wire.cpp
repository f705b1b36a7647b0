#include "ui/plan_wire.h"

#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace mox::wire {

namespace {

static_assert(std::endian::native == std::endian::little, "the wire's numbers are little-endian");

// The fields of each value, in their order on the wire: one list, read by the writer and by the reader alike.
template <class T, class U>
concept Is = std::same_as<std::remove_const_t<T>, U>;
// A value as its base, const where it is.
template <class Base, class T>
auto& asBase(T& v) {
  return static_cast<std::conditional_t<std::is_const_v<T>, const Base, Base>&>(v);
}

template <class Io, Is<plan::Bonuses> T>
void fields(Io& io, T& b) {
  io(b.expert), io(b.lab);
}
template <class Io, Is<plan::Recipe> T>
void fields(Io& io, T& r) {
  io(r.small), io(r.big), io(r.magic), io(r.catalyst), io(r.protectant);
}
template <class Io, Is<plan::Percentile> T>
void fields(Io& io, T& p) {
  io(p.q), io(p.cost);
}
template <class Io, Is<plan::CostDistribution> T>
void fields(Io& io, T& d) {
  io(d.cdf), io(d.complete), io(d.percentiles), io(d.withinBudget);
}
template <class Io, Is<plan::Climb> T>
void fields(Io& io, T& c) {
  fields(io, asBase<plan::CostDistribution>(c));
  io(c.from), io(c.to), io(c.lowest), io(c.recipes), io(c.expectedCost), io(c.expectedAttempts), io(c.fromStock);
}
template <class Io, Is<plan::BudgetPlan> T>
void fields(Io& io, T& b) {
  io(b.from), io(b.to), io(b.budget), io(b.count), io(b.chance), io(b.candidates), io(b.choice);
}
template <class Io, Is<plan::RouteStep> T>
void fields(Io& io, T& s) {
  io(s.level), io(s.expectedCost), io(s.how), io(s.from), io(s.a), io(s.b), io(s.protectant);
}
template <class Io, Is<plan::RouteCost> T>
void fields(Io& io, T& r) {
  fields(io, asBase<plan::CostDistribution>(r));
  io(r.expectedCost), io(r.chipsByRule), io(r.fromStock);
}
template <class Io, Is<PlanInputs> T>
void fields(Io& io, T& in) {
  io(in.from), io(in.to), io(in.bonuses), io(in.budgetGoal), io(in.budget), io(in.fromStock), io(in.stock),
      io(in.count);
}
template <class Io, Is<LuckInputs> T>
void fields(Io& io, T& in) {
  io(in.from), io(in.level), io(in.cost), io(in.recipes), io(in.bonuses);
}
template <class Io, Is<PlanOutcome> T>
void fields(Io& io, T& p) {
  io(p.inputs), io(p.error), io(p.climb), io(p.budgetPlan), io(p.budgetChoiceLeftOut), io(p.route), io(p.routeCost),
      io(p.routeEnhances);
}
template <class Io, Is<LuckOutcome> T>
void fields(Io& io, T& l) {
  io(l.inputs), io(l.moreThanYou), io(l.alreadyThere);
}

// Writing: integers as eight little-endian bytes, doubles as their bits, a count before what a string or a list
// holds, a flag before what an optional holds.
struct Out {
  std::string bytes;

  void u64(uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xff);
  }
  void operator()(int64_t v) { u64(static_cast<uint64_t>(v)); }
  void operator()(int v) { (*this)(static_cast<int64_t>(v)); }
  void operator()(plan::RouteStep::How v) { (*this)(static_cast<int>(v)); }
  void operator()(bool v) { bytes += v ? '\1' : '\0'; }
  void operator()(int8_t v) { bytes += static_cast<char>(v); }
  void operator()(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);  // Emscripten's standard library has no std::bit_cast
    u64(bits);
  }
  void operator()(const std::string& s) {
    (*this)(static_cast<int64_t>(s.size()));
    bytes += s;
  }
  // A distribution runs to millions of values: its bytes go as they are, the machine's order being the wire's.
  void operator()(const std::vector<double>& v) {
    (*this)(static_cast<int64_t>(v.size()));
    bytes.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(double));
  }
  template <class T>
  void operator()(const std::vector<T>& v) {
    (*this)(static_cast<int64_t>(v.size()));
    for (const T& x : v) (*this)(x);
  }
  template <class T>
  void operator()(const std::optional<T>& v) {
    (*this)(v.has_value());
    if (v) (*this)(*v);
  }
  template <class T, size_t N>
  void operator()(const std::array<T, N>& v) {
    for (const T& x : v) (*this)(x);
  }
  template <class T>
  void operator()(const T& v) {
    fields(*this, v);
  }
};

// Reading: every read checks what is left, and a count never asks for more items than bytes remain.
struct In {
  const std::string& bytes;
  size_t at = 1;  // past the kind
  bool ok = true;

  bool u64(uint64_t& v) {
    if (!ok || bytes.size() - at < 8) return ok = false;
    v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    at += 8;
    return true;
  }
  bool byte(char& c) {
    if (!ok || at >= bytes.size()) return ok = false;
    c = bytes[at++];
    return true;
  }
  void operator()(int64_t& v) {
    uint64_t u = 0;
    if (u64(u)) v = static_cast<int64_t>(u);
  }
  void operator()(int& v) {
    int64_t w = 0;
    (*this)(w);
    if (w < INT32_MIN || w > INT32_MAX)
      ok = false;
    else
      v = static_cast<int>(w);
  }
  void operator()(plan::RouteStep::How& v) {
    int how = 0;
    (*this)(how);
    if (how < 0 || how > static_cast<int>(plan::RouteStep::How::Fuse))
      ok = false;
    else
      v = static_cast<plan::RouteStep::How>(how);
  }
  void operator()(bool& v) {
    char c = 0;
    if (!byte(c)) return;
    if (c != 0 && c != 1) ok = false;
    v = c == 1;
  }
  void operator()(int8_t& v) {
    char c = 0;
    if (byte(c)) v = static_cast<int8_t>(c);
  }
  void operator()(double& v) {
    uint64_t bits = 0;
    if (u64(bits)) std::memcpy(&v, &bits, sizeof v);
  }
  // A count of items of at least `size` bytes each.
  size_t count(size_t size = 1) {
    int64_t n = 0;
    (*this)(n);
    if (n < 0 || static_cast<uint64_t>(n) > (bytes.size() - at) / size) ok = false;
    return ok ? static_cast<size_t>(n) : 0;
  }
  void operator()(std::string& s) {
    const size_t n = count();
    s = bytes.substr(at, n);
    at += n;
  }
  void operator()(std::vector<double>& v) {
    const size_t n = count(sizeof(double));
    v.resize(n);
    if (n) std::memcpy(v.data(), bytes.data() + at, n * sizeof(double));
    at += n * sizeof(double);
  }
  template <class T>
  void operator()(std::vector<T>& v) {
    v.assign(count(), T{});
    for (T& x : v) (*this)(x);
  }
  template <class T>
  void operator()(std::optional<T>& v) {
    bool has = false;
    (*this)(has);
    v.reset();
    if (ok && has) (*this)(v.emplace());
  }
  template <class T, size_t N>
  void operator()(std::array<T, N>& v) {
    for (T& x : v) (*this)(x);
  }
  template <class T>
  void operator()(T& v) {
    fields(*this, v);
  }
};

template <class T>
std::string write(Kind k, const T& value) {
  Out o{std::string(1, static_cast<char>(k))};
  o(value);
  return std::move(o.bytes);
}

// Read back only when the bytes are that kind and hold exactly one value, nothing left over.
template <class T>
std::optional<T> read(Kind k, const std::string& bytes) {
  if (kindOf(bytes) != k) return std::nullopt;
  In in{bytes};
  T value{};
  in(value);
  if (!in.ok || in.at != bytes.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string write(const PlanInputs& in) { return write(Kind::PlanQuestion, in); }
std::string write(const LuckInputs& in) { return write(Kind::LuckQuestion, in); }
std::string write(const PlanOutcome& out) { return write(Kind::PlanAnswer, out); }
std::string write(const LuckOutcome& out) { return write(Kind::LuckAnswer, out); }

std::optional<Kind> kindOf(const std::string& bytes) {
  if (bytes.empty()) return std::nullopt;
  switch (static_cast<Kind>(bytes[0])) {
    case Kind::PlanQuestion:
    case Kind::LuckQuestion:
    case Kind::PlanAnswer:
    case Kind::LuckAnswer: return static_cast<Kind>(bytes[0]);
  }
  return std::nullopt;
}

std::optional<PlanInputs> readPlanInputs(const std::string& bytes) {
  return read<PlanInputs>(Kind::PlanQuestion, bytes);
}
std::optional<LuckInputs> readLuckInputs(const std::string& bytes) {
  return read<LuckInputs>(Kind::LuckQuestion, bytes);
}
std::optional<PlanOutcome> readPlanOutcome(const std::string& bytes) {
  return read<PlanOutcome>(Kind::PlanAnswer, bytes);
}
std::optional<LuckOutcome> readLuckOutcome(const std::string& bytes) {
  return read<LuckOutcome>(Kind::LuckAnswer, bytes);
}

std::string answer(const std::string& question, const std::shared_ptr<LuckWalks>& walks) {
  if (auto plan = readPlanInputs(question)) return write(figurePlan(*plan));
  if (auto luck = readLuckInputs(question)) return write(figureLuck(*luck, walks));
  return {};
}

}  // namespace mox::wire
