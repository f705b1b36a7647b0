#include "ui/planner_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "runtime/value.h"
#include "ui/bench_reading.h"
#include "ui/planner_parts.h"

namespace mox {

using namespace planner_parts;

namespace {

constexpr uint32_t kGreen = palette::kGreen;
constexpr uint32_t kDim = palette::kMuted;
constexpr uint32_t kMedianColour = palette::kSkyBlue;
constexpr uint32_t kNinetyColour = palette::kOrange;
constexpr uint32_t kBudgetColour = palette::kGreen;
constexpr uint32_t kSpentColour = palette::kHotPink;

// The pictures of a recipe, crystals first: at most six.
std::array<const char*, 6> recipeIcons(const plan::Recipe& r) {
  std::array<const char*, 6> out{"", "", "", "", "", ""};
  size_t i = 0;
  for (int n = 0; n < r.small && i < 4; ++n) out[i++] = "icon_small_crystal";
  for (int n = 0; n < r.big && i < 4; ++n) out[i++] = "icon_big_crystal";
  for (int n = 0; n < r.magic && i < 4; ++n) out[i++] = "icon_magic_crystal";
  i = 4;
  if (r.catalyst) out[i++] = "icon_catalyst";
  if (r.protectant) out[i] = "icon_protectant";
  return out;
}

std::string q(double qCoins) { return qCoinFigure(qCoins); }

std::string optQ(const std::optional<double>& v) { return v ? q(*v) : "够不着"; }

// What a plan takes from the bag, the expected count of each item; a budget's best chance leaves the bag aside.
std::string fromStockText(const plan::ItemCounts& taken, bool budgetChance, bool capped) {
  std::string items;
  for (size_t k = 0; k < taken.size(); ++k) {
    if (taken[k] < 0.05) continue;
    char count[32];
    std::snprintf(count, sizeof count, "%.1f", taken[k]);
    items += (items.empty() ? "" : " · ") + itemName(static_cast<int32_t>(k + 1)) + " " + count;
  }
  std::string out = items.empty() ? "库存里没有要用的东西" : "从库存用：" + items;
  if (budgetChance) out += "（预算内最高成功率没算库存）";
  if (capped) out += "（配方按每种最多 " + std::to_string(plan::kChoiceCap) + " 个挑选）";
  return out;
}

}  // namespace

PlannerWindow::PlannerWindow(Form& main, Form& window, Simulator& sim, Platform& platform, History& history,
                             PlannerInput input)
    : main_(main),
      window_(window),
      sim_(sim),
      platform_(platform),
      history_(history),
      input_(std::move(input)),
      // A plan shows its figures, and the luck of a route run too: it is read off the plan's distribution of the
      // route's cost.
      figuring_(
          [this] {
            showPlan();
            showClimbState();
          },
          [this] { showClimbState(); }),
      pins_(platform),
      pinFiguring_([this] { pinFigured(); }, {}),
      run_(main, sim, platform, input_, [this](const RunStatus& s) { showRun(s); }),
      alive_(std::make_shared<bool>(true)) {
  window_.setSelection("目标等级", 5);
  window_.setSelection("数量", 0);
  window_.setSelection("预算列表", 2);
  window_.setChecked("按库存规划", true);
}

PlannerWindow::~PlannerWindow() { *alive_ = false; }

void PlannerWindow::open() {
  window_.window().visible = true;
  window_.redrawAll();
  showOdds();
  showClimbState();
  showHistory();
  startWork();
}

void PlannerWindow::close() {
  window_.window().visible = false;
  window_.redrawAll();
}

PlanInputs PlannerWindow::currentInputs() const {
  PlanInputs in;
  const int level = benchLevel(main_);
  const Climb& climb = history_.climb();
  // During a climb the plan is the climb's, from where it started, so the money spent has a place on its curve.
  in.from = level < 0 ? 0 : (climb.startLevel >= 0 ? climb.startLevel : level);
  if (link_) in.from = link_->from;
  in.to = std::max(window_.get("目标等级").selection, 0);
  in.bonuses = bonusesShown(main_);
  in.budgetGoal = window_.get("规划目标").selection == 1;
  in.budget = window_.comboItemData("预算列表", window_.get("预算列表").selection) / 10.0;
  in.fromStock = window_.get("按库存规划").checked;
  in.count = static_cast<int>(
      std::clamp<int32_t>(window_.comboItemData("数量", window_.get("数量").selection), 1, plan::kMaxChips));
  // A run's plan stays the one made from what it started with; a route's, while nothing held changed since it
  // stopped (its chip made ends the route at once).
  if (in.fromStock) {
    const plan::Stock held = heldStock(main_, sim_);
    const bool runsPlan = run_.running() || (run_.routeSpent() && held == run_.endStock());
    in.stock = runsPlan ? run_.startStock() : (link_ && link_->stock ? *link_->stock : held);
  }
  return in;
}

void PlannerWindow::benchChanged() {
  // A chip laid on the bench starts a climb; one taken off ends it.
  const int level = benchLevel(main_);
  if (level != lastBenchLevel_) {
    if (level >= 0) link_.reset();  // the player's own chip: their own question
    if (lastBenchLevel_ < 0 && level >= 0) history_.startClimb(level);
    if (level < 0) history_.startClimb(-1);
  }
  lastBenchLevel_ = level;
  // A closed window catches up when it opens; a fast run updates it a few times a second.
  if (quiet() || !isOpen()) return;
  showOdds();
  showClimbState();
  startWork();
}

void PlannerWindow::attempted(const AttemptRecord& record) {
  HistoryEntry e{.time = platform_.timeText(),
                 .attempt = record,
                 .exactChance = exactChance(record),
                 .cost = history_.costOf(record)};
  run_.attempted(record);
  history_.add(std::move(e));
  if (quiet() || !isOpen()) return;
  showHistory();
  showClimbState();
  startWork();
}

double PlannerWindow::exactChance(const AttemptRecord& a) const {
  // Figured once per bench: a fast run asks for the same few attempts thousands of times.
  uint64_t key = static_cast<uint64_t>(a.synthesis) | static_cast<uint64_t>(a.levelBefore & 15) << 1 |
                 static_cast<uint64_t>(a.otherLevelBefore & 15) << 5 | static_cast<uint64_t>(a.catalyst > 0) << 9 |
                 static_cast<uint64_t>(a.protectant > 0) << 10 | static_cast<uint64_t>(a.expertBonus) << 11 |
                 static_cast<uint64_t>(a.labBonus) << 12;
  for (size_t i = 0; i < 4; ++i) key |= static_cast<uint64_t>(a.crystals[i] & 7) << (13 + 3 * i);
  if (auto it = chanceCache_.find(key); it != chanceCache_.end()) return it->second;
  double chance = -1;
  try {
    if (a.synthesis) {
      chance = plan::fusion(std::max(a.levelBefore, a.otherLevelBefore), std::min(a.levelBefore, a.otherLevelBefore),
                            a.protectant > 0, {a.expertBonus, false})
                   .success;
    } else {
      chance = plan::odds(a.levelBefore, planRecipe(a.crystals, a.catalyst > 0, a.protectant > 0),
                          {a.expertBonus, a.labBonus})
                   .success;
    }
  } catch (const plan::PlanError&) {
  }
  chanceCache_.emplace(key, chance);
  return chance;
}

void PlannerWindow::showOdds() {
  const plan::Bonuses b = bonusesShown(main_);
  // Enhancement.
  std::string line = "强化：强化台上没有芯片", detail;
  uint32_t colour = kGrey;
  const int level = benchLevel(main_);
  if (main_.get("合成框").visible) {
    line = "强化：强化台未打开";
  } else if (level == plan::kTopLevel) {
    line = "强化：芯片已是最高等级 +9";
  } else if (level >= 0) {
    std::array<int32_t, 4> crystals{};
    for (size_t i = 0; i < 4; ++i) crystals[i] = tagCode(main_, kCrystalSlots[i]);
    const plan::Recipe r =
        planRecipe(crystals, tagCode(main_, "催化位") == kCatalyst, tagCode(main_, "防护位") == kProtectant);
    if (r.crystals() == 0) {
      line = "强化 " + lvl(level) + "：放上晶体后显示几率";
    } else {
      try {
        const plan::Odds o = plan::odds(level, r, b);
        line = "强化 " + lvl(level) + "→" + lvl(level + 1) + "：显示 " + main_.get("标签2").caption + " · 实际 " +
               percentText(o.success);
        colour = kWhite;
        detail = (o.drop > 0 ? "失败降一级的几率 " + percentText(o.drop) : std::string("失败不会降级")) +
                 " · 每次花费 " + q(plan::toQ(o.cost));
      } catch (const plan::PlanError&) {
        line = "强化 " + lvl(level) + "：这套晶体不能用在这一级";
      }
    }
  }
  window_.setCaption("强化几率标签", line);
  window_.setTextColour("强化几率标签", colour);
  window_.setCaption("降级几率标签", detail);

  // Synthesis.
  std::string synth = "合成：合成台未打开";
  if (main_.get("合成框").visible) {
    const int a = chipLevel(tagCode(main_, "合成芯片位1")), c = chipLevel(tagCode(main_, "合成芯片位2"));
    synth = "合成：放上两枚芯片后显示几率";
    if (a >= 1 && c >= 1) {
      const bool prot = tagCode(main_, "合成防护位") == kProtectant;
      const plan::Fusion f = plan::fusion(std::max(a, c), std::min(a, c), prot, b);
      if (f.result > 0) {
        synth = "合成 " + lvl(a) + "/" + lvl(c) + "→" + lvl(f.result) + "：显示 " + synthesisRateShown() + " · 实际 " +
                percentText(f.success) + (prot ? " · 每次 50 Q币防护剂" : " · 失败毁一枚");
      } else {
        synth = "合成 " + lvl(a) + "/" + lvl(c) + "：这两枚不能合成";
      }
    }
  }
  window_.setCaption("合成几率标签", synth);

  const int from = currentInputs().from;
  std::string start = "起始：+0（强化台上没有芯片）";
  if (link_)
    start = "起始：" + lvl(from) + "（链接里的问题）";
  else if (level >= 0)
    start = "起始：" + lvl(from) + (from == level ? "（强化台上的芯片）" : "（这次的起点，现 " + lvl(level) + "）");
  window_.setCaption("起始等级标签", start);
  window_.setCaption("加成标签", std::string("加成跟随主窗口：达人加成 ") + (b.expert ? "开" : "关") +
                                     " · 实验室加成 " + (b.lab ? "开" : "关"));
}

std::string PlannerWindow::synthesisRateShown() const { return main_.get("成功率结").caption; }

void PlannerWindow::inputsChanged() {
  if (link_ && !window_.get("按库存规划").checked) link_->stock.reset();
  showOdds();
  startWork();
}

std::optional<LuckInputs> PlannerWindow::luckInputs() const {
  const Climb& c = history_.climb();
  if (c.attempts == 0 || c.startLevel < 0) return std::nullopt;
  LuckInputs in{.from = c.startLevel, .level = c.level, .cost = c.cost, .bonuses = bonusesShown(main_)};
  for (size_t i = 0; i < in.recipes.size(); ++i) {
    const std::optional<Recipe>& r = c.recipes[i];
    if (r) in.recipes[i] = planRecipe(r->crystals, r->catalyst, r->protectant);
  }
  return in;
}

void PlannerWindow::startWork() {
  if (!isOpen()) return;
  figuring_.ask(currentInputs(), luckInputs());
  askPinFigures();
  // Answers from elsewhere come by themselves; figuring here is collected by the timer.
  window_.setInterval("规划时钟", figuring_.figuringHere() || pinFiguring_.figuringHere() ? kResultIntervalMs : 0);
  window_.setCaption("计算状态标签", figuring_.planPending() ? "计算中…" : "");
}

void PlannerWindow::planFigured(const PlanOutcome& p) {
  if (figuring_.planFigured(p) || pinFiguring_.planFigured(p)) startWork();
}

void PlannerWindow::luckFigured(const LuckOutcome& l) {
  if (figuring_.luckFigured(l)) startWork();
}

void PlannerWindow::figureHere() {
  figuring_.figureHere();
  pinFiguring_.figureHere();
  startWork();
}

void PlannerWindow::resultTick() {
  figuring_.collect();
  pinFiguring_.collect();
  startWork();
}

void PlannerWindow::settle() {
  while (figuring_.figuringHere() || pinFiguring_.figuringHere()) {
    figuring_.wait();
    pinFiguring_.wait();
    startWork();
  }
}

PlannerWindow::CostFigures PlannerWindow::costFigures() const {
  const std::optional<PlanOutcome>& figured = figuring_.plan();
  CostFigures f;
  if (!figured || !figured->error.empty()) return f;
  if (routeShown()) {
    // The whole route from money alone: the chips bought, every attempt on them, every fusion.
    f.route = true;
    f.expected = figured->routeCost.expectedCost;
    f.spread = &figured->routeCost;
  } else {
    f.expected = figured->climb.expectedCost;
    f.spread = &figured->climb;
  }
  return f;
}

bool PlannerWindow::routeShown() const { return selectedWay() == AutoWay::Route; }

void PlannerWindow::showCostFigures() {
  if (!figuring_.plan()) return;
  const PlanOutcome& p = *figuring_.plan();
  const bool ok = p.error.empty();
  const CostFigures f = costFigures();
  const bool spread = f.spread && !f.spread->cdf.empty();
  // Out of the stock every figure is the money still to spend.
  const bool stock = p.inputs.fromStock;
  const std::string spend = stock ? "还要花" : "要花";
  const int n = p.inputs.count;
  const std::string chips = n > 1 ? std::to_string(n) + " 枚" : "";
  window_.setCaption("规划结果框", f.route ? "按路线做" + (n > 1 ? " " + chips : "一枚") + "目标芯片" + spend + "多少"
                                           : chips + "升到目标" + spend + "多少");
  window_.setCaption(
      "期望花费标签",
      ok ? (f.route ? "路线" : "") + std::string(stock ? "平均还要花 " : "平均 ") + optQ(f.expected) : p.error);
  window_.setTextColour("期望花费标签", ok ? kWhite : kCoral);
  window_.setCaption("中位花费标签", ok && spread ? "一半玩家 ≤ " + optQ(f.spread->percentiles[0].cost) : "");
  window_.setCaption("九成花费标签", ok && spread ? "九成玩家 ≤ " + optQ(f.spread->percentiles[1].cost) : "");
  window_.setCaption("极端花费标签", ok && spread ? "99% 玩家 ≤ " + optQ(f.spread->percentiles[2].cost) : "");
  std::string budget;
  if (ok && p.budgetPlan && !f.route) {
    budget = "预算 " + q(p.inputs.budget) + " 内最高成功率 " + percentText(p.budgetPlan->chance, 1);
  } else if (ok && spread && f.spread->withinBudget) {
    budget = "预算 " + q(p.inputs.budget) + " 内成功 " + percentText(*f.spread->withinBudget, 1);
    // Several chips whose choice by the money left would take too long: the least-cost recipes' chance.
    if (p.budgetChoiceLeftOut && !f.route) budget += "（没按余钱挑配方）";
  } else if (ok && f.spread && !f.spread->complete && f.spread->cdf.empty()) {
    // A very large stock: the distribution is left out, and with it the chance within the budget.
    budget = "预算内成功：库存太多，没算";
  }
  window_.setCaption("预算成功率标签", budget);
  std::string used;
  if (ok && stock) {
    used = std::string(link_ && link_->stock ? "链接里的库存 · " : "") +
           fromStockText(f.route ? p.routeCost.fromStock : p.climb.fromStock, p.budgetPlan && !f.route,
                         !f.route && plan::choiceCapped(p.inputs.stock));
    // Too many chips held to choose every move for (or several chips, the moves chosen for one): the route from
    // money alone takes them.
    if (f.route && p.routeCost.chipsByRule) {
      used += n > 1 ? "（做几枚时芯片按最省路线取用，没逐步挑选）" : "（芯片太多：按最省路线取用，没逐步挑选）";
    }
    // Chips of the target's level held are among the count (the climb takes the bench's chip up all the same).
    const int32_t held = p.inputs.stock[static_cast<size_t>(chipCode(p.inputs.to) - 1)];
    const int counted = f.route ? std::min(held, n) : n - climbChips(p.inputs);
    if (n > 1 && counted > 0) used += "（已有 " + std::to_string(counted) + " 枚 " + lvl(p.inputs.to) + " 算在内）";
  }
  window_.setCaption("库存用量标签", used);
  window_.setCaption("图表说明",
                     f.route ? "曲线：按路线花到横轴的 Q币 时已做成" + (n > 1 ? " " + chips : "") + "目标芯片的玩家比例"
                             : "曲线：花到横轴的 Q币 时" + (n > 1 ? " " + chips + "都" : "") + "已升到目标的玩家比例");
  drawChart();
}

void PlannerWindow::showPlan() {
  if (!figuring_.plan()) return;
  const PlanOutcome& p = *figuring_.plan();
  const bool ok = p.error.empty();
  const plan::Climb& c = p.climb;
  const bool route = routeShown();
  showCostFigures();

  // The recipe per level (the climb's, or where the route enhances), then the cheapest way to hold a chip of
  // each level.
  const plan::RecipePlan best = route ? plan::bestRecipes(p.inputs.bonuses) : plan::RecipePlan{};
  for (int i = 0; i < plan::kTopLevel; ++i) {
    const std::string n = std::to_string(i);
    std::optional<plan::Recipe> r;
    const bool needed = ok && (route ? p.routeEnhances[static_cast<size_t>(i)] : i >= c.lowest && i < p.inputs.to);
    if (needed && route)
      r = best[static_cast<size_t>(i)];
    else if (needed)
      r = p.budgetPlan ? p.budgetPlan->recipeAt(i, p.inputs.budget) : c.recipes[static_cast<size_t>(i)];
    const auto icons = r ? recipeIcons(*r) : std::array<const char*, 6>{"", "", "", "", "", ""};
    for (size_t k = 0; k < 6; ++k) window_.setPicture("配方" + n + "物品" + std::to_string(k), icons[k]);
    window_.setTextColour("配方等级" + n, needed ? kWhite : kDim);
    std::string each;
    if (r) each = q(plan::toQ(plan::recipeCost(*r))) + "/次";
    window_.setCaption("配方花费" + n, each);
    std::string way;
    for (const plan::RouteStep& s : p.route) {
      if (s.level != i + 1) continue;
      if (s.how == plan::RouteStep::How::Fuse) {
        way =
            (s.a == s.b ? "合成两枚" + lvl(s.a) : "合成" + lvl(s.a) + "与" + lvl(s.b)) + (s.protectant ? "(防护)" : "");
      } else {
        way = "强化";
      }
      if (s.expectedCost) way += " 约" + std::to_string(static_cast<long long>(std::llround(*s.expectedCost)));
    }
    window_.setCaption("路线" + n, ok ? way : "");
    window_.setTextColour("路线" + n, needed || (route && ok && i < p.inputs.to) ? kGrey : kDim);
  }
}

void PlannerWindow::drawChart() {
  const std::optional<PlanOutcome>& figured = figuring_.plan();
  const std::optional<AutoRun::RouteSpent> ran = run_.routeSpent();
  ChartData d;
  d.xUnit = "Q币";
  d.yUnit = "%";
  const CostFigures f = costFigures();
  // The money spent: the route's, or the climb's when it is the plan's climb (a curve of several chips' total has no
  // place for one chip's spending).
  std::optional<double> spent;
  const Climb& climb = history_.climb();
  if (f.route) {
    if (ran && figured && ran->to == figured->inputs.to && ran->count == figured->inputs.count) {
      spent = static_cast<double>(ran->cost) / 10.0;
    }
  } else if (figured && climb.attempts > 0 && climb.startLevel == figured->inputs.from &&
             climbChips(figured->inputs) == 1) {
    spent = static_cast<double>(climb.cost) / 10.0;
  }
  if (!figured || !figured->error.empty() || !f.spread || f.spread->cdf.empty()) {
    d.empty = figured && !figured->error.empty() ? figured->error : "计算中…";
    // A very large stock: only the expectation is figured.
    if (figured && figured->error.empty() && f.spread && !f.spread->complete && f.spread->cdf.empty()) {
      d.empty = "库存太多：只算平均还要花多少，不画分布";
    }
    if (f.route && f.expected) {
      const int n = figured->inputs.count;
      d.empty = (n > 1 ? "按路线做 " + std::to_string(n) + " 枚 " : std::string("按路线做到 ")) +
                lvl(figured->inputs.to) + " 平均 " + q(*f.expected);
      if (spent) d.empty += "，这次已花 " + q(*spent);
    }
    window_.setChart(window_.indexOf("花费分布图"), std::move(d));
    return;
  }
  addPinCurves(d);
  const std::vector<double>& cdf = f.spread->cdf;
  const std::array<plan::Percentile, 3>& percentiles = f.spread->percentiles;
  // Show up to the 99th percentile, the budget and the money spent, whichever lies furthest.
  double right = percentiles[2].cost.value_or(plan::toQ(static_cast<plan::Steps>(cdf.size() - 1)));
  right = std::max(right, figured->inputs.budget);
  if (spent) right = std::max(right, *spent);
  d.points = curvePoints(cdf, right);
  if (percentiles[0].cost) d.marks.push_back({*percentiles[0].cost, "一半", kMedianColour, true});
  if (percentiles[1].cost) d.marks.push_back({*percentiles[1].cost, "九成", kNinetyColour, true});
  d.marks.push_back({figured->inputs.budget, "预算", kBudgetColour, false});
  if (spent) d.marks.push_back({*spent, "已花", kSpentColour, false});
  window_.setChart(window_.indexOf("花费分布图"), std::move(d));
}

void PlannerWindow::showClimbState() {
  const std::optional<PlanOutcome>& figured = figuring_.plan();
  const std::optional<LuckOutcome>& answer = figuring_.luck();
  const std::optional<AutoRun::RouteSpent> ran = run_.routeSpent();
  const Climb& c = history_.climb();
  std::string luck = "还没有强化", why = "放上芯片或开始自动强化后，这里比较你和其他玩家的花费";
  if (c.startLevel >= 0 && c.attempts > 0) {
    const std::string spent = qCoinText(c.cost) + " Q币";
    luck = "已花 " + spent + "，计算中…";
    if (answer && answer->inputs.cost == c.cost && answer->inputs.level == c.level) {
      if (answer->moreThanYou) {
        const std::string share = percentText(*answer->moreThanYou, 0);
        luck = "花费少于 " + share + " 的玩家";
        why = "用同样配方从 " + lvl(c.startLevel) + " 升到 " + lvl(c.level) + " 的玩家里，" + share + " 花得比你的 " +
              spent + " 多";
      } else if (answer->alreadyThere) {
        luck = "还在 " + lvl(c.level) + "：已花 " + spent;
        why = percentText(*answer->alreadyThere, 0) + " 的玩家花这么多时已经升到 " + lvl(c.startLevel + 1);
      }
    }
  }
  if (routeShown() && ran) {
    // The route's money against the distribution of its whole cost.
    const std::string spent = qCoinText(ran->cost) + " Q币", made = lvl(ran->to);
    const std::string chips = ran->count > 1 ? std::to_string(ran->count) + " 枚 " : "";
    const std::string making = "做" + (chips.empty() ? "一枚 " : " " + chips) + made;
    luck = "按路线已花 " + spent;
    why = making + " 的花费：芯片、每次强化和合成用掉的东西";
    const CostFigures f = costFigures();
    if (f.spread && !f.spread->cdf.empty() && figured->inputs.to == ran->to && figured->inputs.count == ran->count) {
      const std::vector<double>& cdf = f.spread->cdf;
      const size_t at = static_cast<size_t>(ran->cost / 5);  // tenths of a Q币 in 0.5 Q币 steps
      const double atMost = at < cdf.size() ? cdf[at] : cdf.back();
      if (ran->made) {
        const std::string share = percentText(1.0 - atMost, 0);
        luck = "花费少于 " + share + " 的玩家";
        why = "按同样路线" + making + " 的玩家里，" + share + " 花得比你的 " + spent + " 多";
      } else {
        why = percentText(atMost, 0) + " 的玩家按路线花这么多时已经做成 " + chips + made;
      }
    }
  }
  window_.setCaption("运气标签", luck);
  window_.setCaption("运气说明", why);
  if (figured) drawChart();
}

void PlannerWindow::showHistory() {
  if (!isOpen()) return;
  const auto& entries = history_.entries();
  std::vector<ListItem> rows;
  rows.reserve(std::min(entries.size(), kListRows));
  for (auto it = entries.rbegin(); it != entries.rend() && rows.size() < kListRows; ++it) {
    rows.push_back({History::listLine(*it), it->attempt.outcome == "强化成功" || it->attempt.outcome == "合成成功"});
  }
  window_.setItems(window_.indexOf("记录列表"), std::move(rows));
  window_.setTopRow(window_.indexOf("记录列表"), 0);
  window_.setCaption("记录框", "强化记录（共 " + std::to_string(history_.total()) + " 次，最新在上）");
}

void PlannerWindow::exportHistory() {
  const std::string where = platform_.filePath(History::kFileName);
  const size_t n = history_.entries().size();
  window_.setCaption("导出结果标签", "正在导出…");
  std::weak_ptr<bool> alive = alive_;
  platform_.replaceFileLater(History::kFileName, history_.csv(), [this, alive, where, n](bool ok) {
    if (alive.expired() || !*alive.lock()) return;
    window_.setCaption("导出结果标签", ok ? "已导出 " + std::to_string(n) + " 条到 " + where
                                          : "导出失败：写不进 " + where + "，记录仍保留，可以再试");
    window_.setTextColour("导出结果标签", ok ? kGreen : kCoral);
  });
}

}  // namespace mox
