// The planner's questions and answers as bytes (what the page's worker is sent and sends back): a real plan and
// luck come back bit for bit, bad bytes read as nothing, and the window shows an answer figured elsewhere exactly
// as one figured by itself; and the figuring on its own: what it asks where, and which answers it takes.
#include <gtest/gtest.h>

#include <cstring>

#include "app_fixture.h"
#include "ui/plan_wire.h"

using moxtest::Program;
using namespace mox;

namespace {

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

}  // namespace

TEST(PlanWire, RealAnswersRoundTripBitForBitAndBadBytesReadAsNothing) {
  // Two chips: the count crosses with the question, and the budget plan's with the answer.
  PlanInputs in{
      .from = 1, .to = 7, .bonuses = {true, false}, .budgetGoal = true, .budget = 800, .fromStock = true, .count = 2};
  in.stock[kSmallCrystal - 1] = 30;
  in.stock[kCatalyst - 1] = 2;
  const std::string question = wire::write(in);
  ASSERT_TRUE(wire::readPlanInputs(question));
  EXPECT_TRUE(*wire::readPlanInputs(question) == in);

  const PlanOutcome p = figurePlan(in);
  ASSERT_TRUE(p.error.empty() && p.budgetPlan && !p.route.empty() && !p.climb.cdf.empty());
  const std::string bytes = wire::answer(question, nullptr);
  EXPECT_EQ(bytes, wire::write(p));
  const std::optional<PlanOutcome> back = wire::readPlanOutcome(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(wire::write(*back), bytes);
  EXPECT_TRUE(sameBits(back->climb.cdf, p.climb.cdf));
  EXPECT_TRUE(sameBits(back->routeCost.cdf, p.routeCost.cdf));
  EXPECT_EQ(back->climb.fromStock, p.climb.fromStock);
  EXPECT_EQ(back->budgetPlan->choice, p.budgetPlan->choice);
  EXPECT_EQ(back->budgetPlan->count, 2);
  EXPECT_EQ(back->climb.expectedAttempts, p.climb.expectedAttempts);
  EXPECT_EQ(back->route.back().text(), p.route.back().text());
  EXPECT_EQ(back->routeEnhances, p.routeEnhances);

  // The luck of a climb under way, going on from the walks kept where it is figured.
  auto walks = std::make_shared<LuckWalks>();
  const LuckInputs luck{.from = 0, .level = 3, .cost = 12345, .recipes = plan::bestRecipes({}), .bonuses = {}};
  const std::string luckBytes = wire::answer(wire::write(luck), walks);
  EXPECT_EQ(walks->walks.size(), 1u);
  const std::optional<LuckOutcome> l = wire::readLuckOutcome(luckBytes);
  ASSERT_TRUE(l && l->moreThanYou);
  const LuckOutcome here = figureLuck(luck);
  EXPECT_EQ(std::memcmp(&*l->moreThanYou, &*here.moreThanYou, sizeof(double)), 0);
  EXPECT_TRUE(l->inputs == luck);

  // Cut short, one byte too many, the wrong kind, a count past the end: nothing is read, and no answer given.
  EXPECT_FALSE(wire::readPlanOutcome(bytes.substr(0, bytes.size() - 1)));
  EXPECT_FALSE(wire::readPlanOutcome(bytes + '\0'));
  EXPECT_FALSE(wire::readLuckOutcome(bytes));
  std::string huge = wire::write(PlanOutcome{.error = "问题"});
  const size_t text = huge.find("问题");
  ASSERT_NE(text, std::string::npos);
  huge[text - 2] = '\x7f';  // the text's length, eight bytes before it
  EXPECT_FALSE(wire::readPlanOutcome(huge));
  EXPECT_EQ(wire::answer("", nullptr), "");
  EXPECT_EQ(wire::answer(bytes, nullptr), "");
}

TEST(PlanWire, TheWindowShowsAnswersFiguredElsewhereAndFiguresHereWhenThatIsLost) {
  // Two programs side by side: one figuring for itself, one sending its questions out (as the page does).
  Program here, away;
  std::vector<std::string> questions;
  for (Program* p : {&here, &away}) {
    p->withStock({});
    p->start();
  }
  auto ask = [&](const std::string& q) {
    questions.push_back(q);
    return true;
  };
  away.app().planner().figureElsewhere({.plan = [&](const PlanInputs& in) { return ask(wire::write(in)); },
                                        .luck = [&](const LuckInputs& in) { return ask(wire::write(in)); }});
  for (Program* p : {&here, &away}) {
    p->click("规划按钮");
    p->select("目标等级", 9);
    p->select("规划目标", 1);
    p->select("数量", 2);  // three chips: the page's worker figures them too
  }
  here.app().settle();
  // Questions go out one at a time: the next is asked when the last is answered.
  auto walks = std::make_shared<LuckWalks>();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(away.caption("计算状态标签"), "计算中…");
  EXPECT_EQ(away.control("规划时钟").interval, 0);
  int count = 0;
  while (!questions.empty()) {
    const std::string q = questions.front();
    questions.erase(questions.begin());
    if (const auto in = wire::readPlanInputs(q)) count = in->count;
    away.app().planner().planFigured(*wire::readPlanOutcome(wire::answer(q, walks)));
  }
  EXPECT_EQ(count, 3);
  for (const char* label : {"期望花费标签", "中位花费标签", "九成花费标签", "预算成功率标签", "计算状态标签"}) {
    EXPECT_EQ(away.caption(label), here.caption(label)) << label;
  }

  // The worker lost with a question out: the window asks it again of itself.
  away.select("目标等级", 8);
  EXPECT_EQ(questions.size(), 1u);
  away.app().planner().figureHere();
  away.app().settle();
  here.select("目标等级", 8);
  here.app().settle();
  EXPECT_EQ(away.caption("期望花费标签"), here.caption("期望花费标签"));
  EXPECT_EQ(questions.size(), 1u);
}

TEST(PlanFiguring, AnswersAreTakenOnlyWhenAwaitedAndARefusedQuestionIsFiguredHere) {
  int plans = 0, lucks = 0;
  PlanFiguring f([&] { ++plans; }, [&] { ++lucks; });
  f.setLaunch(std::launch::deferred);
  std::vector<PlanInputs> sent;
  f.figureElsewhere({.plan =
                         [&](const PlanInputs& in) {
                           sent.push_back(in);
                           return true;
                         },
                     .luck = [](const LuckInputs&) { return false; }});
  const PlanInputs toThree{.from = 0, .to = 3};
  const LuckInputs luck{.from = 0, .level = 1, .cost = 100, .recipes = plan::bestRecipes({})};
  // The plan goes out; the luck, refused, is figured here, as is every question after it.
  f.ask(toThree, luck);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(f.planPending());
  EXPECT_TRUE(f.figuringHere());
  f.ask(toThree, luck);  // asked again while both are under way: nothing new
  EXPECT_EQ(sent.size(), 1u);
  f.collect();  // deferred: the luck is figured now
  EXPECT_EQ(lucks, 1);
  EXPECT_FALSE(f.figuringHere());
  EXPECT_EQ(f.luck()->moreThanYou, figureLuck(luck).moreThanYou);
  EXPECT_FALSE(f.luckFigured(figureLuck(luck)));  // none out
  EXPECT_TRUE(f.planFigured(figurePlan(toThree)));
  EXPECT_FALSE(f.planFigured(figurePlan(toThree)));  // answered already
  EXPECT_EQ(plans, 1);
  EXPECT_FALSE(f.planPending());
  // The answers held are of these questions: nothing is asked. A new one is figured here.
  f.ask(toThree, luck);
  EXPECT_FALSE(f.figuringHere());
  f.ask({.from = 0, .to = 4}, std::nullopt);
  EXPECT_EQ(sent.size(), 1u);
  EXPECT_TRUE(f.planPending());
  f.wait();
  EXPECT_EQ(plans, 2);
  EXPECT_EQ(f.plan()->inputs.to, 4);

  // A plan given up before it was done is no answer: the one held stays.
  f.figureElsewhere({.plan = [&](const PlanInputs& in) {
    sent.push_back(in);
    return true;
  }});
  f.ask({.from = 0, .to = 5}, std::nullopt);
  ASSERT_EQ(sent.size(), 2u);
  PlanOutcome givenUp{.inputs = sent.back(), .cancelled = true};
  EXPECT_TRUE(f.planFigured(givenUp));
  EXPECT_EQ(plans, 2);
  EXPECT_EQ(f.plan()->inputs.to, 4);
  // The place figuring went to is lost: the question is asked again here.
  f.ask({.from = 0, .to = 5}, std::nullopt);
  EXPECT_EQ(sent.size(), 3u);
  f.figureHere();
  EXPECT_FALSE(f.planPending());
  f.ask({.from = 0, .to = 5}, std::nullopt);
  EXPECT_EQ(sent.size(), 3u);
  f.wait();
  EXPECT_EQ(f.plan()->inputs.to, 5);
  EXPECT_EQ(plans, 3);
}
