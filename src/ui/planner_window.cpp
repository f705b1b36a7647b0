#include "ui/planner_window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "runtime/value.h"

namespace mox {

namespace {

const char* const kCrystalSlots[4] = {"晶体位0", "晶体位1", "晶体位2", "晶体位3"};
// The enhancement bench apart from the chip: what an attempt uses up, in the order auto-supply refills it.
const char* const kBenchSlots[6] = {"晶体位0", "晶体位1", "晶体位2", "晶体位3", "催化位", "防护位"};

constexpr uint32_t kWhite = rgb(255, 255, 255);
constexpr uint32_t kRed = rgb(255, 110, 90);
constexpr uint32_t kGreen = rgb(0x9c, 0xe0, 0x6c);
constexpr uint32_t kGrey = rgb(0xc8, 0xbc, 0xac);
constexpr uint32_t kDim = rgb(0x7a, 0x66, 0x52);
constexpr uint32_t kMedianColour = rgb(0x6c, 0xc0, 0xff);
constexpr uint32_t kNinetyColour = rgb(0xff, 0xa0, 0x40);
constexpr uint32_t kBudgetColour = rgb(0x9c, 0xe0, 0x6c);
constexpr uint32_t kSpentColour = rgb(0xff, 0x60, 0xa0);

int32_t tagCode(const Form& f, const char* slot) { return truncToInt(toNumber(f.get(slot).tag)); }

plan::Recipe planRecipe(const std::array<int32_t, 4>& crystals, bool catalyst, bool protectant) {
  plan::Recipe r;
  for (int32_t c : crystals) {
    r.small += c == kSmallCrystal;
    r.big += c == kBigCrystal;
    r.magic += c == kMagicCrystal;
  }
  r.catalyst = catalyst;
  r.protectant = protectant;
  return r;
}

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

}  // namespace

std::string qCoinFigure(double qCoins) {
  char buf[48];
  if (qCoins >= 10000) std::snprintf(buf, sizeof buf, "%.0f Q币", qCoins);
  else std::snprintf(buf, sizeof buf, "%.1f Q币", qCoins);
  return buf;
}

namespace {

std::string q(double qCoins) { return qCoinFigure(qCoins); }

std::string optQ(const std::optional<double>& v) { return v ? q(*v) : "够不着"; }

std::string lvl(int level) { return "+" + std::to_string(level); }

}  // namespace

// ---- figuring (worker thread) ----

PlanOutcome figurePlan(const PlanInputs& in) {
  PlanOutcome out;
  out.inputs = in;
  if (in.to <= in.from) {
    out.error = "目标等级要高于起始等级 " + lvl(in.from);
    return out;
  }
  try {
    plan::ClimbRequest req{.from = in.from, .to = in.to, .recipes = plan::bestRecipes(in.bonuses),
                           .bonuses = in.bonuses, .budget = in.budget};
    out.climb = plan::climb(req);
    if (in.budgetGoal) out.budgetPlan = plan::bestWithinBudget(in.from, in.to, in.budget, in.bonuses);
    out.route = plan::route(in.to, in.bonuses);
    out.routeCost = plan::routeCost(out.route, in.to, in.bonuses, in.budget);
    out.routeEnhances = RouteRun(out.route, in.bonuses).enhancedLevels();
  } catch (const plan::PlanError& e) {
    out.error = e.what();
  }
  return out;
}

LuckOutcome figureLuck(const LuckInputs& in, std::shared_ptr<LuckWalks> kept) {
  LuckOutcome out;
  out.inputs = in;
  if (in.from < 0 || in.level < 0 || in.from >= plan::kTopLevel) return out;
  try {
    // A level the climb never used a recipe at (it may still drop there) takes the best recipe.
    plan::RecipePlan recipes = in.recipes;
    const plan::RecipePlan best = plan::bestRecipes(in.bonuses);
    for (size_t i = 0; i < recipes.size(); ++i) {
      if (!recipes[i]) recipes[i] = best[i];
    }
    const bool up = in.level > in.from;
    // Only P(cost <= what was spent) is wanted: the distribution is figured up to that amount and no further
    // (its 99.9th percentile may lie millions of steps on, half a second's figuring for a climb on small
    // crystals), going on from where the last question about the same climb stopped. A spend past the largest
    // budget figured is taken at that budget.
    const plan::Steps spent = std::min<plan::Steps>(in.cost / 5, plan::kMaxBudgetSteps);  // tenths of a Q币
    LuckInputs climb = in;
    climb.cost = 0;
    LuckWalks own;
    LuckWalks& walks = kept ? *kept : own;
    auto it = std::find_if(walks.walks.begin(), walks.walks.end(), [&](const auto& w) { return w.first == climb; });
    if (it == walks.walks.end()) {
      if (walks.walks.size() >= LuckWalks::kKept) walks.walks.erase(walks.walks.begin());
      walks.walks.emplace_back(climb, plan::ClimbCdf({.from = in.from, .to = up ? in.level : in.from + 1,
                                                      .recipes = recipes, .bonuses = in.bonuses}));
      it = std::prev(walks.walks.end());
    }
    const double atMost = it->second.atMost(spent);
    if (up) out.moreThanYou = 1.0 - atMost;
    else out.alreadyThere = atMost;
  } catch (const plan::PlanError&) {
  }
  return out;
}

// ---- the window ----

PlannerWindow::PlannerWindow(Form& main, Form& window, Simulator& sim, Platform& platform, History& history,
                             PlannerInput input)
    : main_(main), window_(window), sim_(sim), platform_(platform), history_(history), input_(std::move(input)),
      alive_(std::make_shared<bool>(true)) {
  window_.setSelection("目标等级", 5);
  window_.setSelection("预算列表", 2);
}

PlannerWindow::~PlannerWindow() {
  *alive_ = false;
  if (planWork_.valid()) planWork_.wait();
  if (luckWork_.valid()) luckWork_.wait();
}

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

plan::Bonuses PlannerWindow::bonuses() const {
  return {main_.get("选择框1").checked, main_.get("选择框2").checked};
}

int PlannerWindow::benchLevel() const {
  if (main_.get("合成框").visible) return -1;
  return chipLevel(tagCode(main_, "芯片位"));
}

PlanInputs PlannerWindow::currentInputs() const {
  PlanInputs in;
  const int level = benchLevel();
  const Climb& climb = history_.climb();
  // During a climb the plan is the climb's, from where it started, so the money spent has a place on its curve.
  in.from = level < 0 ? 0 : (climb.startLevel >= 0 ? climb.startLevel : level);
  in.to = std::max(window_.get("目标等级").selection, 0);
  in.bonuses = bonuses();
  in.budgetGoal = window_.get("规划目标").selection == 1;
  in.budget = window_.comboItemData("预算列表", window_.get("预算列表").selection) / 10.0;
  return in;
}

void PlannerWindow::benchChanged() {
  // A chip laid on the bench starts a climb; one taken off ends it.
  const int level = benchLevel();
  if (level != lastBenchLevel_) {
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
  HistoryEntry e{.time = platform_.timeText(), .attempt = record, .exactChance = exactChance(record),
                 .cost = history_.costOf(record)};
  if (running_ && way_ == AutoWay::Route) routeCost_ += e.cost;
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
  const plan::Bonuses b = bonuses();
  // Enhancement.
  std::string line = "强化：强化台上没有芯片", detail;
  uint32_t colour = kGrey;
  const int level = benchLevel();
  if (main_.get("合成框").visible) {
    line = "强化：强化台未打开";
  } else if (level == plan::kTopLevel) {
    line = "强化：芯片已是最高等级 +9";
  } else if (level >= 0) {
    std::array<int32_t, 4> crystals{};
    for (size_t i = 0; i < 4; ++i) crystals[i] = tagCode(main_, kCrystalSlots[i]);
    const plan::Recipe r = planRecipe(crystals, tagCode(main_, "催化位") == kCatalyst,
                                      tagCode(main_, "防护位") == kProtectant);
    if (r.crystals() == 0) {
      line = "强化 " + lvl(level) + "：放上晶体后显示几率";
    } else {
      try {
        const plan::Odds o = plan::odds(level, r, b);
        line = "强化 " + lvl(level) + "→" + lvl(level + 1) + "：显示 " + main_.get("标签2").caption + " · 实际 " + percentText(o.success);
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
        synth = "合成 " + lvl(a) + "/" + lvl(c) + "→" + lvl(f.result) + "：显示 " + synthesisRateShown() +
                " · 实际 " + percentText(f.success) + (prot ? " · 每次 50 Q币防护剂" : " · 失败毁一枚");
      } else {
        synth = "合成 " + lvl(a) + "/" + lvl(c) + "：这两枚不能合成";
      }
    }
  }
  window_.setCaption("合成几率标签", synth);

  const int from = currentInputs().from;
  std::string start = "起始：+0（强化台上没有芯片）";
  if (level >= 0) start = "起始：" + lvl(from) + (from == level ? "（强化台上的芯片）" : "（这次的起点，现 " + lvl(level) + "）");
  window_.setCaption("起始等级标签", start);
  window_.setCaption("加成标签", std::string("加成跟随主窗口：达人加成 ") + (b.expert ? "开" : "关") + " · 实验室加成 " +
                                     (b.lab ? "开" : "关"));
}

std::string PlannerWindow::synthesisRateShown() const { return main_.get("成功率结").caption; }

void PlannerWindow::inputsChanged() {
  showOdds();
  startWork();
}

void PlannerWindow::startWork() {
  if (!isOpen()) return;
  if (!planWork_.valid()) {
    const PlanInputs in = currentInputs();
    if (!plan_ || !(plan_->inputs == in)) {
      planAsked_ = in;
      planWork_ = std::async(launch_, figurePlan, in);
    }
  }
  if (!luckWork_.valid()) {
    const Climb& c = history_.climb();
    if (c.attempts > 0 && c.startLevel >= 0) {
      LuckInputs in{.from = c.startLevel, .level = c.level, .cost = c.cost, .bonuses = bonuses()};
      for (size_t i = 0; i < in.recipes.size(); ++i) {
        if (c.recipes[i]) in.recipes[i] = planRecipe(c.recipes[i]->crystals, c.recipes[i]->catalyst,
                                                     c.recipes[i]->protectant);
      }
      if (!luck_ || !(luck_->inputs == in)) {
        luckAsked_ = in;
        luckWork_ = std::async(launch_, figureLuck, in, luckWalks_);
      }
    }
  }
  const bool busy = planWork_.valid() || luckWork_.valid();
  window_.setInterval("规划时钟", busy ? kResultIntervalMs : 0);
  window_.setCaption("计算状态标签", planWork_.valid() ? "计算中…" : "");
}

void PlannerWindow::resultTick() {
  using namespace std::chrono_literals;
  // Deferred figuring is never "ready" by itself: getting it runs it here.
  if (planWork_.valid() && planWork_.wait_for(0s) != std::future_status::timeout) applyPlan(planWork_.get());
  if (luckWork_.valid() && luckWork_.wait_for(0s) != std::future_status::timeout) applyLuck(luckWork_.get());
  startWork();
}

void PlannerWindow::settle() {
  while (planWork_.valid() || luckWork_.valid()) {
    if (planWork_.valid()) applyPlan(planWork_.get());
    if (luckWork_.valid()) applyLuck(luckWork_.get());
    startWork();
  }
}

PlannerWindow::CostFigures PlannerWindow::costFigures() const {
  CostFigures f;
  if (!plan_ || !plan_->error.empty()) return f;
  if (routeShown()) {
    // The whole route from money alone: the chips bought, every attempt on them, every fusion.
    f.route = true;
    if (!plan_->route.empty()) f.expected = plan_->route.back().expectedCost;
    f.spread = &plan_->routeCost;
  } else {
    f.expected = plan_->climb.expectedCost;
    f.spread = &plan_->climb;
  }
  return f;
}

bool PlannerWindow::routeShown() const { return selectedWay() == AutoWay::Route; }

void PlannerWindow::showCostFigures() {
  if (!plan_) return;
  const PlanOutcome& p = *plan_;
  const bool ok = p.error.empty();
  const CostFigures f = costFigures();
  const bool spread = f.spread && !f.spread->cdf.empty();
  window_.setCaption("规划结果框", f.route ? "按路线做一枚目标芯片要花多少" : "升到目标要花多少");
  window_.setCaption("期望花费标签", ok ? (f.route ? "路线平均 " : "平均 ") + optQ(f.expected) : p.error);
  window_.setTextColour("期望花费标签", ok ? kWhite : kRed);
  window_.setCaption("中位花费标签", ok && spread ? "一半玩家 ≤ " + optQ(f.spread->percentiles[0].cost) : "");
  window_.setCaption("九成花费标签", ok && spread ? "九成玩家 ≤ " + optQ(f.spread->percentiles[1].cost) : "");
  window_.setCaption("极端花费标签", ok && spread ? "99% 玩家 ≤ " + optQ(f.spread->percentiles[2].cost) : "");
  std::string budget;
  if (ok && p.budgetPlan && !f.route) {
    budget = "预算 " + q(p.inputs.budget) + " 内最高成功率 " + percentText(p.budgetPlan->chance, 1);
  } else if (ok && spread && f.spread->withinBudget) {
    budget = "预算 " + q(p.inputs.budget) + " 内成功 " + percentText(*f.spread->withinBudget, 1);
  }
  window_.setCaption("预算成功率标签", budget);
  window_.setCaption("图表说明", f.route ? "曲线：按路线花到横轴的 Q币 时已做成目标芯片的玩家比例"
                                        : "曲线：花到横轴的 Q币 时已升到目标的玩家比例");
  drawChart();
}

void PlannerWindow::applyPlan(const PlanOutcome& p) {
  plan_ = p;
  showPlan();
  // The luck of a route run is read off the plan's distribution of the route's cost.
  showClimbState();
}

void PlannerWindow::showPlan() {
  if (!plan_) return;
  const PlanOutcome& p = *plan_;
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
    if (needed && route) r = best[static_cast<size_t>(i)];
    else if (needed) r = p.budgetPlan ? p.budgetPlan->recipeAt(i, p.inputs.budget) : c.recipes[static_cast<size_t>(i)];
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
        way = (s.a == s.b ? "合成两枚" + lvl(s.a) : "合成" + lvl(s.a) + "与" + lvl(s.b)) + (s.protectant ? "(防护)" : "");
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
  ChartData d;
  d.xUnit = "Q币";
  d.yUnit = "%";
  const CostFigures f = costFigures();
  // The money spent: the route's, or the climb's when it is the plan's climb.
  std::optional<double> spent;
  const Climb& climb = history_.climb();
  if (f.route) {
    if (routeRan() && plan_ && route_->to() == plan_->inputs.to) spent = static_cast<double>(routeCost_) / 10.0;
  } else if (plan_ && climb.attempts > 0 && climb.startLevel == plan_->inputs.from) {
    spent = static_cast<double>(climb.cost) / 10.0;
  }
  if (!plan_ || !plan_->error.empty() || !f.spread || f.spread->cdf.empty()) {
    d.empty = plan_ && !plan_->error.empty() ? plan_->error : "计算中…";
    if (f.route && f.expected) {
      d.empty = "按路线做到 " + lvl(plan_->inputs.to) + " 平均 " + q(*f.expected);
      if (spent) d.empty += "，这次已花 " + q(*spent);
    }
    window_.setChart(window_.indexOf("花费分布图"), std::move(d));
    return;
  }
  const std::vector<double>& cdf = f.spread->cdf;
  const std::array<plan::Percentile, 3>& percentiles = f.spread->percentiles;
  // Show up to the 99th percentile, the budget and the money spent, whichever lies furthest.
  double right = percentiles[2].cost.value_or(plan::toQ(static_cast<plan::Steps>(cdf.size() - 1)));
  right = std::max(right, plan_->inputs.budget);
  if (spent) right = std::max(right, *spent);
  right = std::min(right * 1.05, plan::toQ(static_cast<plan::Steps>(cdf.size() - 1)));
  const size_t last = std::min(cdf.size() - 1, static_cast<size_t>(right / plan::kQPerStep));
  const size_t step = std::max<size_t>(1, last / 400);
  for (size_t i = 0; i <= last; i += step) d.points.emplace_back(plan::toQ(static_cast<plan::Steps>(i)), cdf[i]);
  if (d.points.back().first < plan::toQ(static_cast<plan::Steps>(last))) {
    d.points.emplace_back(plan::toQ(static_cast<plan::Steps>(last)), cdf[last]);
  }
  if (percentiles[0].cost) d.marks.push_back({*percentiles[0].cost, "一半", kMedianColour, true});
  if (percentiles[1].cost) d.marks.push_back({*percentiles[1].cost, "九成", kNinetyColour, true});
  d.marks.push_back({plan_->inputs.budget, "预算", kBudgetColour, false});
  if (spent) d.marks.push_back({*spent, "已花", kSpentColour, false});
  window_.setChart(window_.indexOf("花费分布图"), std::move(d));
}

void PlannerWindow::applyLuck(const LuckOutcome& l) {
  luck_ = l;
  showClimbState();
}

void PlannerWindow::showClimbState() {
  const Climb& c = history_.climb();
  std::string luck = "还没有强化", why = "放上芯片或开始自动强化后，这里比较你和其他玩家的花费";
  if (c.startLevel >= 0 && c.attempts > 0) {
    const std::string spent = qCoinText(c.cost) + " Q币";
    luck = "已花 " + spent + "，计算中…";
    if (luck_ && luck_->inputs.cost == c.cost && luck_->inputs.level == c.level) {
      if (luck_->moreThanYou) {
        const std::string share = percentText(*luck_->moreThanYou, 0);
        luck = "花费少于 " + share + " 的玩家";
        why = "用同样配方从 " + lvl(c.startLevel) + " 升到 " + lvl(c.level) + " 的玩家里，" + share + " 花得比你的 " + spent +
              " 多";
      } else if (luck_->alreadyThere) {
        luck = "还在 " + lvl(c.level) + "：已花 " + spent;
        why = percentText(*luck_->alreadyThere, 0) + " 的玩家花这么多时已经升到 " + lvl(c.startLevel + 1);
      }
    }
  }
  if (routeShown() && routeRan()) {
    // The route's money against the distribution of its whole cost.
    const std::string spent = qCoinText(routeCost_) + " Q币", made = lvl(route_->to());
    luck = "按路线已花 " + spent;
    why = "做一枚 " + made + " 的花费：芯片、每次强化和合成用掉的东西";
    const CostFigures f = costFigures();
    if (f.spread && !f.spread->cdf.empty() && plan_->inputs.to == route_->to()) {
      const std::vector<double>& cdf = f.spread->cdf;
      const size_t at = static_cast<size_t>(routeCost_ / 5);  // tenths of a Q币 in 0.5 Q币 steps
      const double atMost = at < cdf.size() ? cdf[at] : cdf.back();
      if (routeMade_) {
        const std::string share = percentText(1.0 - atMost, 0);
        luck = "花费少于 " + share + " 的玩家";
        why = "按同样路线做一枚 " + made + " 的玩家里，" + share + " 花得比你的 " + spent + " 多";
      } else {
        why = percentText(atMost, 0) + " 的玩家按路线花这么多时已经做成 " + made;
      }
    }
  }
  window_.setCaption("运气标签", luck);
  window_.setCaption("运气说明", why);
  if (plan_) drawChart();
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
    window_.setTextColour("导出结果标签", ok ? kGreen : kRed);
  });
}

// ---- auto-run ----

bool PlannerWindow::stopOnEscape() {
  if (!running_) return false;
  stopAutoRun("按了 Esc");
  return true;
}

AutoWay PlannerWindow::selectedWay() const {
  return static_cast<AutoWay>(std::clamp(window_.get("自动方式").selection, 0, 2));
}

void PlannerWindow::autoWayChanged() {
  static const char* const kExplained[] = {
      "照强化台上这套配方一直强化；快速：不放横幅和声音；补给：用完就买",
      "每一级换上规划的最佳配方；快速：不放横幅和声音；补给：缺什么买什么",
      "照最省路线买芯片、强化、合成到目标；快速：不放横幅和声音；补给：缺就买"};
  window_.setCaption("自动说明标签", kExplained[static_cast<int>(selectedWay())]);
  showPlan();
  showClimbState();
}

void PlannerWindow::toggleAutoRun() {
  if (running_) {
    stopAutoRun("按了停止");
    return;
  }
  const int level = benchLevel();
  target_ = std::max(window_.get("目标等级").selection, 0);
  way_ = selectedWay();
  std::string refusal;
  bool anyCrystal = false;
  for (size_t i = 0; i < 6; ++i) {
    recipeKinds_[i] = tagCode(main_, kBenchSlots[i]);
    if (i < 4) anyCrystal = anyCrystal || recipeKinds_[i] > 0;
  }
  if (way_ == AutoWay::Route) {
    try {
      route_.emplace(target_, bonuses());
      if (target_ == 0) refusal = "选一个高于 +0 的目标等级";
      else if (!route_->reachable()) refusal = "没有路线能做到 " + lvl(target_);
    } catch (const plan::PlanError& e) {
      refusal = e.what();
    }
  } else if (main_.get("合成框").visible) {
    refusal = "先切换到强化台";
  } else if (level < 0) {
    refusal = "先把芯片放上强化台";
  } else if (level >= target_) {
    refusal = "芯片已是 " + lvl(level) + "，选一个更高的目标等级";
  } else if (way_ == AutoWay::AsLaid && !anyCrystal) {
    refusal = "先放好晶体：自动补给会照这套配方买";
  }
  if (!refusal.empty()) {
    window_.setCaption("自动状态标签", refusal);
    window_.setTextColour("自动状态标签", kRed);
    return;
  }
  runBudget_.reset();
  if (way_ == AutoWay::PlanRecipes) {
    const PlanInputs in = currentInputs();
    if (in.budgetGoal) {
      // The plan's choice depends on the money left as well as the level: figured for this chip's level (a
      // dozen milliseconds at most), it holds from any level and sum on the way.
      runBudget_ = plan::bestWithinBudget(level, target_, in.budget, bonuses());
      runBudgetLeft_ = runBudget_->budget;
    } else {
      planRecipes_ = plan::bestRecipes(bonuses());
    }
  }
  if (way_ == AutoWay::Route) {
    routeBaseline_ = chipsHeld()[static_cast<size_t>(target_)];
    routeCost_ = 0;
    routeDoing_.clear();
    routeMade_ = false;
  } else {
    route_.reset();
    history_.startClimb(level);
  }
  running_ = true;
  // The gaps' generator goes on from where the last run left it, moved by the clock: runs started in the same
  // millisecond (a clock that stands still, as in a script) must not space their attempts alike, or their seeds
  // would follow one pattern from run to run and the draws would lean one way.
  pace_ += platform_.tickCount();
  fast_ = window_.get("快速").checked;
  runAttempts_ = 0;
  runStartSpend_ = sim_.state().spendTotal;
  runStartRecharge_ = sim_.state().rechargeTotal;
  window_.setInterval("自动强化时钟", fast_ ? kFastIntervalMs : kSlowIntervalMs);
  window_.setCaption("自动强化按钮", "停止");
  setButtonLook(true);
  window_.setTextColour("自动状态标签", kWhite);
  showAutoRun();
  showClimbState();
  startWork();
}

void PlannerWindow::setButtonLook(bool running) {
  const std::string base = running ? "wide_stop_" : "wide_autorun_";
  const int i = window_.indexOf("自动强化按钮");
  window_.setButtonPictures(i, base + "normal", base + "hover", base + "pressed", base + "disabled");
}

void PlannerWindow::autoRunTick() {
  if (!running_) {
    window_.setInterval("自动强化时钟", 0);
    return;
  }
  fast_ = window_.get("快速").checked;
  window_.setInterval("自动强化时钟", fast_ ? kFastIntervalMs : kSlowIntervalMs);
  std::string why;
  if (fast_ && clock_) {
    // Ticks that queued up while the last slice ran are dropped, so the window gets its frame between slices.
    const uint64_t start = clock_();
    if (start - lastTickEnd_ < 1000) return;
    for (int i = 0; running_; ++i) {
      if (i % 16 == 0 && clock_() - start >= static_cast<uint64_t>(sliceUs_)) break;
      if (!step(why)) stopAutoRun(why);
    }
    lastTickEnd_ = clock_();
  } else {
    const int n = fast_ ? kFastBatch : 1;
    for (int i = 0; i < n && running_; ++i) {
      if (!step(why)) stopAutoRun(why);
    }
  }
  if (!running_) return;
  showAutoRun();
  // The rest of the window follows a fast run a few times a second: its record and luck take longer to redo.
  if (fast_ && ++fastTicks_ % kFullUpdateTicks == 0) {
    showOdds();
    showHistory();
    showClimbState();
    startWork();
  }
}

bool PlannerWindow::step(std::string& why) {
  // Each attempt comes some time after the last, as a player's next click would: anywhere in the next minute
  // (SplitMix64 on the run's own state), so the seeds of successive attempts do not follow from each other.
  pace_ += 0x9E3779B97F4A7C15ull;
  uint64_t z = pace_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  sim_.random().skipAhead(static_cast<uint32_t>(1 + ((z ^ (z >> 31)) & 0xFFFF)));
  switch (way_) {
    case AutoWay::AsLaid: return stepAsLaid(why);
    case AutoWay::PlanRecipes: return stepPlanRecipes(why);
    case AutoWay::Route: return stepRoute(why);
  }
  return false;
}

// One click on the enhance button, and whether the run goes on.
bool PlannerWindow::enhance(std::string& why) {
  input_.click("图形按钮1");
  ++runAttempts_;
  if (benchLevel() >= target_) {
    why = "已达到目标 " + lvl(target_);
    return false;
  }
  return true;
}

// The chip on the enhancement bench while it has yet to reach the target; -1 (and why) otherwise.
int PlannerWindow::climbingLevel(std::string& why) const {
  const int level = benchLevel();
  if (level < 0) {
    why = main_.get("合成框").visible ? "强化台已关闭" : "强化台上没有芯片了";
    return -1;
  }
  if (level >= target_) {
    why = "已达到目标 " + lvl(target_);
    return -1;
  }
  return level;
}

bool PlannerWindow::stepAsLaid(std::string& why) {
  if (climbingLevel(why) < 0) return false;
  if (window_.get("自动补给").checked && !supply(why)) return false;
  if (sim_.state().enhanceRate <= 0) {
    why = "强化台上的晶体用完了";
    return false;
  }
  return enhance(why);
}

bool PlannerWindow::stepPlanRecipes(std::string& why) {
  const int level = climbingLevel(why);
  if (level < 0) return false;
  if (runBudget_) {
    const double left = plan::toQ(runBudgetLeft_);
    const std::optional<plan::Recipe> r = runBudget_->recipeAt(level, left);
    if (!r) {
      // What is left pays for no attempt, or for none that could still end at the target.
      why = "预算不够到 " + lvl(target_) + " 了";
      return false;
    }
    if (!layEnhancement(level, *r, why)) return false;
    runBudgetLeft_ -= plan::recipeCost(*r);
    return enhance(why);
  }
  const std::optional<plan::Recipe>& r = planRecipes_[static_cast<size_t>(level)];
  if (!r) {
    why = lvl(level) + " 没有可用的配方";
    return false;
  }
  return layEnhancement(level, *r, why) && enhance(why);
}

bool PlannerWindow::stepRoute(std::string& why) {
  // A chip made by synthesis waits in the result slot; it goes to the stock like any other.
  if (main_.get("合成框").visible && tagCode(main_, "合成芯片位") > 0) input_.click("合成芯片位");
  for (int bought = 0;; ++bought) {
    ChipsHeld held = chipsHeld();
    held[static_cast<size_t>(target_)] -= routeBaseline_;
    const RouteMove move = route_->next(held);
    switch (move.kind) {
      case RouteMove::Kind::Reached:
        routeMade_ = true;
        why = "已做成一枚 " + lvl(target_);
        return false;
      case RouteMove::Kind::BuyChip:
        if (bought > 0 || !window_.get("自动补给").checked) {
          why = "库存里没有" + itemName(kChip0) + "了";
          return false;
        }
        if (!buy(kChip0, why)) return false;
        continue;
      case RouteMove::Kind::Enhance: {
        const std::optional<plan::Recipe>& r = route_->recipes()[static_cast<size_t>(move.level)];
        if (!r || !layEnhancement(move.level, *r, why)) return false;
        routeDoing_ = "强化 " + lvl(move.level);
        input_.click("图形按钮1");
        break;
      }
      case RouteMove::Kind::Fuse:
        if (!layFusion(move, why)) return false;
        routeDoing_ = "合成 " + lvl(move.a) + "/" + lvl(move.b);
        input_.click("图形按钮5");
        break;
    }
    ++runAttempts_;
    if (routeReached()) {
      routeMade_ = true;
      why = "已做成一枚 " + lvl(target_);
      return false;
    }
    return true;
  }
}

// The chips the route may use: the stock's, and those on the bench showing.
ChipsHeld PlannerWindow::chipsHeld() const {
  ChipsHeld held{};
  for (int l = 0; l <= plan::kTopLevel; ++l) held[static_cast<size_t>(l)] = std::max(sim_.itemCount(chipCode(l)), 0);
  for (const char* slot : {"芯片位", "合成芯片位1", "合成芯片位2", "合成芯片位"}) {
    const int l = chipLevel(tagCode(main_, slot));
    if (l >= 0) ++held[static_cast<size_t>(l)];
  }
  return held;
}

bool PlannerWindow::routeReached() const {
  return route_ && chipsHeld()[static_cast<size_t>(target_)] > routeBaseline_;
}

// Shows the enhancement or the synthesis bench, as the view buttons do (what lies on the other goes back).
bool PlannerWindow::useBench(bool synthesis) {
  if (main_.get("合成框").visible != synthesis) input_.click(synthesis ? "合成显示按钮" : "强化显示按钮");
  return main_.get("合成框").visible == synthesis;
}

// Lays a chip of `level` and the recipe on the enhancement bench, taking back whatever does not belong.
bool PlannerWindow::layEnhancement(int level, const plan::Recipe& r, std::string& why) {
  if (!useBench(false)) {
    why = "没能切换到强化台";
    return false;
  }
  std::array<int, 3> want{r.small, r.big, r.magic};  // by crystal code - kSmallCrystal
  for (size_t i = 0; i < 4; ++i) {
    const int32_t k = tagCode(main_, kCrystalSlots[i]);
    if (k == 0) continue;
    if (k >= kSmallCrystal && k <= kMagicCrystal && want[static_cast<size_t>(k - kSmallCrystal)] > 0) {
      --want[static_cast<size_t>(k - kSmallCrystal)];
    } else {
      input_.click(kCrystalSlots[i]);
    }
  }
  const bool catalyst = tagCode(main_, "催化位") == kCatalyst, protectant = tagCode(main_, "防护位") == kProtectant;
  if (catalyst && !r.catalyst) input_.click("催化位");
  if (protectant && !r.protectant) input_.click("防护位");
  const int32_t chip = tagCode(main_, "芯片位");
  if (chip != 0 && chip != chipCode(level)) input_.click("芯片位");
  if (tagCode(main_, "芯片位") == 0 && !layFromStock(chipCode(level), why)) return false;
  for (size_t k = 0; k < want.size(); ++k) {
    for (int n = 0; n < want[k]; ++n) {
      if (!layFromStock(kSmallCrystal + static_cast<int32_t>(k), why)) return false;
    }
  }
  if (r.catalyst && !catalyst && !layFromStock(kCatalyst, why)) return false;
  if (r.protectant && !protectant && !layFromStock(kProtectant, why)) return false;
  return true;
}

// Lays the two chips of a fusion on the synthesis bench, with a protectant when the route protects it.
bool PlannerWindow::layFusion(const RouteMove& m, std::string& why) {
  if (!useBench(true)) {
    why = "没能切换到合成台";
    return false;
  }
  std::array<int32_t, 2> want{chipCode(m.a), chipCode(m.b)};
  for (const char* slot : {"合成芯片位1", "合成芯片位2"}) {
    const int32_t k = tagCode(main_, slot);
    if (k == 0) continue;
    if (k == want[0]) want[0] = 0;
    else if (k == want[1]) want[1] = 0;
    else input_.click(slot);
  }
  for (int32_t code : want) {
    if (code && !layFromStock(code, why)) return false;
  }
  const bool protectant = tagCode(main_, "合成防护位") == kProtectant;
  if (protectant && !m.protectant) input_.click("合成防护位");
  if (m.protectant && !protectant && !layFromStock(kProtectant, why)) return false;
  if (sim_.state().synthesisRate <= 0) {
    why = "合成台上的两枚芯片不能合成";
    return false;
  }
  return true;
}

// Takes one of an item out of the stock onto the bench showing, buying it first when the stock has none and
// auto-supply is on.
bool PlannerWindow::layFromStock(int32_t code, std::string& why) {
  if (sim_.itemCount(code) <= 0) {
    if (!window_.get("自动补给").checked || shopPrice(code) <= 0) {
      why = "库存里没有" + itemName(code) + "了";
      return false;
    }
    if (!buy(code, why)) return false;
  }
  const int32_t before = sim_.itemCount(code);
  for (int n = 1; n <= 15; ++n) {
    if (sim_.state().cellItem[static_cast<size_t>(n - 1)] != code) continue;
    char cell[8];
    std::snprintf(cell, sizeof cell, "a%02d", n);
    input_.click(cell);
    break;
  }
  if (sim_.itemCount(code) == before) {
    why = "没能把" + itemName(code) + "放上" + (main_.get("合成框").visible ? "合成台" : "强化台");
    return false;
  }
  if (way_ == AutoWay::Route && code == kChip0) routeCost_ += shopPrice(kChip0);
  return true;
}

// Lays again every kind the run's bench held and the stock has run out of, buying it first.
bool PlannerWindow::supply(std::string& why) {
  const int32_t chip = tagCode(main_, "芯片位");
  for (size_t i = 0; i < 6; ++i) {
    const int32_t kind = recipeKinds_[i];
    if (kind <= 0 || tagCode(main_, kBenchSlots[i]) != 0) continue;
    // The bench's own rules: no small crystal beside a chip of +7 or more, no magic crystal below it.
    if (kind == kSmallCrystal && chip >= kChip7) continue;
    if (kind == kMagicCrystal && chip < kChip7) continue;
    if (!layFromStock(kind, why)) return false;
  }
  return true;
}

// Buys one of an item through the shop, topping up 10元 at a time while the balance is short; the shop lists
// are left as the user set them.
bool PlannerWindow::buy(int32_t code, std::string& why) {
  const int amount = main_.get("组合框1").selection, goods = main_.get("组合框2").selection,
            quantity = main_.get("组合框3").selection;
  const int32_t price = shopPrice(code);
  int entry = 0;
  while (entry < static_cast<int>(kShopGoods.size()) - 1 && kShopGoods[static_cast<size_t>(entry)].code != code) ++entry;
  bool ok = true;
  input_.select("组合框1", 0);
  while (ok && sim_.state().qCoinBalance < price) {
    const int32_t before = sim_.state().qCoinBalance;
    input_.click("图形按钮2");
    if (sim_.state().qCoinBalance == before) {
      why = "无法再充值";
      ok = false;
    }
  }
  if (ok) {
    const int32_t before = sim_.itemCount(code);
    input_.select("组合框2", entry);
    input_.select("组合框3", 0);
    input_.click("图形按钮3");
    if (sim_.itemCount(code) == before) {
      why = "买不到" + itemName(code);
      ok = false;
    }
  }
  input_.select("组合框1", amount);
  input_.select("组合框2", goods);
  input_.select("组合框3", quantity);
  return ok;
}

void PlannerWindow::stopAutoRun(const std::string& why) {
  running_ = false;
  window_.setInterval("自动强化时钟", 0);
  window_.setCaption("自动强化按钮", "自动强化");
  setButtonLook(false);
  window_.setCaption("自动状态标签", "已停止（" + why + "），共" + (way_ == AutoWay::Route ? " " : "强化 ") +
                                        std::to_string(runAttempts_) + " 次");
  window_.setTextColour("自动状态标签", kGrey);
  showAutoRun();
  showOdds();
  showHistory();
  showClimbState();
  startWork();
}

void PlannerWindow::showAutoRun() {
  const SimState& s = sim_.state();
  if (running_ && way_ == AutoWay::Route) {
    window_.setCaption("自动状态标签", "按路线做 " + lvl(target_) + "：已 " + std::to_string(runAttempts_) + " 次" +
                                          (routeDoing_.empty() ? "" : "，在" + routeDoing_));
  } else if (running_) {
    const int level = benchLevel();
    window_.setCaption("自动状态标签", "正在强化到 " + lvl(target_) + "：已 " + std::to_string(runAttempts_) +
                                          " 次，芯片 " + (level >= 0 ? lvl(level) : std::string("-")));
  }
  std::string money = "这次花了 " + qCoinText(s.spendTotal - runStartSpend_) + " Q币";
  if (s.rechargeTotal > runStartRecharge_) money += "，自动充值 " + qCoinText(s.rechargeTotal - runStartRecharge_) + " 元";
  if (runBudget_) money += "，预算剩 " + qCoinFigure(plan::toQ(runBudgetLeft_));
  window_.setCaption("自动花费标签", runAttempts_ > 0 || running_ ? money : "");
}

}  // namespace mox
