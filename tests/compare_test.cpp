// Plans side by side: the table's rows and picks, `moxsim-plan compare` as a user runs it, and the pins kept in
// MOXplans across a restart.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "plan/compare.h"
#include "run_program.h"
#include "runtime/headless_platform.h"
#include "ui/plan_pins.h"

namespace {

namespace plan = mox::plan;

const std::string kFromBag = "v=1&from=0&to=7&goal=0&budget=3000&bonus=00&way=1&stock=0.40.10.0.3.1.0.0.0.0.0.0.0.0.0";
const std::string kBudgetGoal = "v=1&from=0&to=7&goal=1&budget=3000&bonus=00&way=1";
const std::string kRoute = "v=1&from=0&to=9&goal=0&budget=500&bonus=11&way=2";

plan::LinkQuestion question(const std::string& fragment) { return *plan::readLinkFragment(fragment); }

plan::QuestionFigures figures(double mean, double half, double ninety, double ninetyNine, double chance) {
  plan::QuestionFigures f;
  f.expected = mean;
  f.percentiles = {{{0.5, half}, {0.9, ninety}, {0.99, ninetyNine}}};
  f.withinBudget = chance;
  return f;
}

TEST(Compare, NamesEachQuestionInAFewWords) {
  EXPECT_EQ(plan::questionWords(question(kFromBag)), "+0→+7 · 最低期望 · 按库存");
  EXPECT_EQ(plan::questionWords(question(kBudgetGoal)), "+0→+7 · 预算内成功率最高 · 不按库存");
  EXPECT_EQ(plan::questionWords(question(kRoute)), "→+9 · 按路线 · 不按库存 · 达人 · 实验室");
}

// The best of each column on every row that reaches it; the steady pick beside the cheapest only when it is steadier.
TEST(Compare, MarksTheBestOfEachColumnAndNamesTheSteadyPick) {
  const std::vector<plan::LinkQuestion> qs{question(kFromBag), question(kBudgetGoal), question(kRoute)};
  const plan::Comparison c = plan::compare(
      qs, std::vector{figures(100, 80, 300, 900, 0.5), figures(120, 80, 200, 400, 0.7), plan::QuestionFigures{}});
  ASSERT_EQ(c.rows.size(), 3u);
  EXPECT_EQ(c.rows[0].best, (std::array<bool, plan::kColumns>{true, true, false, false, false}));
  EXPECT_EQ(c.rows[1].best, (std::array<bool, plan::kColumns>{false, true, true, true, true}));
  EXPECT_EQ(c.rows[2].best, (std::array<bool, plan::kColumns>{}));
  EXPECT_EQ(c.cheapest, 0u);
  EXPECT_EQ(c.steady, 1u);
  EXPECT_EQ(plan::picksText(c),
            "平均最省：+0→+7 · 最低期望 · 按库存；最稳（九成最低）：+0→+7 · 预算内成功率最高 · 不按库存");

  const plan::Comparison same = plan::compare(
      std::vector{qs[0], qs[1]}, std::vector{figures(100, 80, 200, 900, 0.5), figures(120, 80, 200, 400, 0.7)});
  EXPECT_EQ(same.steady, std::nullopt);
  EXPECT_EQ(plan::picksText(same), "平均最省也最稳：+0→+7 · 最低期望 · 按库存");
  // One row alone: nothing is the best of anything, and there is no pick to name.
  const plan::Comparison one = plan::compare(std::vector{qs[0]}, std::vector{figures(1, 1, 1, 1, 1)});
  EXPECT_EQ(one.rows[0].best, (std::array<bool, plan::kColumns>{}));
  EXPECT_EQ(plan::picksText(one), "");
  EXPECT_THROW(plan::compare(std::vector(5, qs[0]), std::vector(5, plan::QuestionFigures{})), plan::PlanError);
}

moxtest::Run compare(const std::string& args) { return moxtest::runProgram("moxsim-plan", "compare " + args); }

// Double quotes keep the '&' of a fragment for sh and cmd.exe alike.
std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// The figures are those of the commands that ask each question alone.
TEST(Compare, TheCommandLineGivesEachQuestionsOwnFigures) {
  const moxtest::Run run =
      compare(quoted(kFromBag) + " " + quoted("#" + kBudgetGoal) + " " + quoted(kRoute) + " --json");
  ASSERT_EQ(run.code, 0) << run.out;
  const nlohmann::json out = nlohmann::json::parse(run.out);
  const nlohmann::json climb = nlohmann::json::parse(
      moxtest::runProgram("moxsim-plan",
                          "climb 0 7 --best --budget 3000 --json --stock \"0 40 10 0 3 1 0 0 0 0 0 0 0 0 0\"")
          .out);
  const nlohmann::json& bag = out["plans"][0];
  EXPECT_EQ(bag["expected_cost"], climb["expected_cost"]);
  EXPECT_EQ(bag["percentiles"], climb["percentiles"]);
  EXPECT_EQ(bag["within_budget"], climb["within_budget"]);
  const nlohmann::json budget = nlohmann::json::parse(moxtest::runProgram("moxsim-plan", "budget 0 7 3000 --json").out);
  EXPECT_EQ(out["plans"][1]["within_budget"], budget["within_budget"]);
  const nlohmann::json route =
      nlohmann::json::parse(moxtest::runProgram("moxsim-plan", "route 9 --budget 500 --expert --lab --json").out);
  EXPECT_EQ(out["plans"][2]["expected_cost"], route["levels"][9]["expected_cost"]);
  EXPECT_EQ(out["plans"][2]["within_budget"], route["levels"][9]["within_budget"]);
  EXPECT_EQ(out["plans"][1]["fragment"], kBudgetGoal);
  EXPECT_EQ(out["cheapest"], 3);

  // As text: a row a plan, the columns aligned, the picks under them.
  const moxtest::Run text = compare(quoted(kFromBag) + " " + quoted(kBudgetGoal));
  ASSERT_EQ(text.code, 0) << text.out;
  EXPECT_NE(text.out.find("平均      一半玩家 ≤"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  1  +0→+7 · 最低期望 · 按库存 "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("2956.25 Q币*"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("平均最省也最稳：+0→+7 · 最低期望 · 按库存"), std::string::npos) << text.out;

  // A question the planner refuses (a budget past what it figures) says why in its row; the others stand.
  const moxtest::Run refused =
      compare(quoted(kBudgetGoal) + " " + quoted("v=1&from=0&to=9&goal=1&budget=3000000&bonus=00&way=1"));
  ASSERT_EQ(refused.code, 0) << refused.out;
  EXPECT_NE(refused.out.find("3000000 Q币  cannot be figured: budget"), std::string::npos) << refused.out;
  EXPECT_NE(refused.out.find("57.13 %*\n"), std::string::npos) << refused.out;
}

// A question for several chips is named so and figured as the command line figures that many.
TEST(Compare, SeveralChipsAreFiguredAsTheirTotal) {
  const std::string three = "v=1&from=0&to=5&goal=0&budget=500&bonus=00&way=1&count=3";
  EXPECT_EQ(plan::questionWords(question(three)), "+0→+5 · 最低期望 · 不按库存 · 3 枚");
  const nlohmann::json out = nlohmann::json::parse(compare(quoted(three) + " --json").out);
  const nlohmann::json climb =
      nlohmann::json::parse(moxtest::runProgram("moxsim-plan", "climb 0 5 --best --budget 500 --count 3 --json").out);
  EXPECT_EQ(out["plans"][0]["expected_cost"], climb["expected_cost"]);
  EXPECT_EQ(out["plans"][0]["within_budget"], climb["within_budget"]);
}

TEST(Compare, AFragmentThatIsNotAQuestionIsNamed) {
  const moxtest::Run bad = compare(quoted(kFromBag) + " " + quoted(kRoute + "&x=1"));
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.out.rfind("moxsim-plan: FRAGMENT 2 '" + kRoute + "&x=1' is not a planner question", 0), 0u) << bad.out;
  EXPECT_EQ(std::count(bad.out.begin(), bad.out.end(), '\n'), 1);
  std::string fiveRoutes;
  for (int i = 0; i < 5; ++i) fiveRoutes += quoted(kRoute) + " ";
  const moxtest::Run five = compare(fiveRoutes);
  EXPECT_EQ(five.code, 2);
  EXPECT_EQ(five.out, "moxsim-plan: compare takes at most 4 FRAGMENTs, not 5\n");
  EXPECT_EQ(compare("").code, 2);
  EXPECT_EQ(compare(quoted(kRoute) + " --expert").code, 2);  // the bonuses are the fragment's
}

plan::LinkQuestion toLevel(int to) {
  plan::LinkQuestion q;
  q.to = to;
  q.budget = 100 * to;
  return q;
}

TEST(PlanPins, WrittenAndReadBackAfterARestart) {
  mox::HeadlessPlatform platform(moxtest::freshDir());
  {
    mox::PlanPins pins(platform);
    EXPECT_EQ(pins.load().pins.size(), 0u);  // no file yet
    EXPECT_EQ(pins.add(question(kFromBag)), std::nullopt);
    EXPECT_EQ(pins.add(question(kRoute)), std::nullopt);
    bool saved = false;
    pins.save([&saved](bool ok) { saved = ok; });
    ASSERT_TRUE(saved);
  }
  EXPECT_EQ(moxtest::readFile(platform.dataDir() / "MOXplans"), kFromBag + "\n" + kRoute + "\n");
  mox::PlanPins again(platform);
  const mox::PinsRead read = again.load();
  EXPECT_EQ(read.dropped, 0u);
  EXPECT_EQ(again.pins(), (std::vector{question(kFromBag), question(kRoute)}));
  again.remove(0);
  again.remove(7);
  EXPECT_EQ(again.pins(), std::vector{question(kRoute)});
  again.clear();
  bool saved = false;
  again.save([&saved](bool ok) { saved = ok; });
  ASSERT_TRUE(saved);
  EXPECT_EQ(again.load().pins.size(), 0u);
}

TEST(PlanPins, AFifthPinReplacesTheOldest) {
  mox::HeadlessPlatform platform(moxtest::freshDir());
  mox::PlanPins pins(platform);
  for (int to = 1; to <= 4; ++to) EXPECT_EQ(pins.add(toLevel(to)), std::nullopt);
  EXPECT_EQ(pins.add(toLevel(5)), toLevel(1));
  EXPECT_EQ(pins.pins(), (std::vector{toLevel(2), toLevel(3), toLevel(4), toLevel(5)}));
}

// A damaged or foreign file loads what it can read and counts what it dropped; a huge or binary one loads nothing.
TEST(PlanPins, ADamagedFileLoadsWhatItCanRead) {
  mox::HeadlessPlatform platform(moxtest::freshDir());
  const auto file = platform.dataDir() / "MOXplans";
  mox::PlanPins pins(platform);
  moxtest::writeFile(file, "garbage\r\n" + kRoute + "\r\n\n" + kFromBag.substr(0, 30) + "\n" +
                               plan::linkFragment(toLevel(1)) + "\n" + plan::linkFragment(toLevel(2)) + "\n" +
                               plan::linkFragment(toLevel(3)) + "\n" + plan::linkFragment(toLevel(4)));
  mox::PinsRead read = pins.load();
  EXPECT_EQ(read.dropped, 3u);  // two lines that are not questions, and the oldest of five
  EXPECT_EQ(pins.pins(), (std::vector{toLevel(1), toLevel(2), toLevel(3), toLevel(4)}));

  std::string binary;
  for (int i = 0; i < 4000; ++i) binary += static_cast<char>((i * 37) % 256);
  moxtest::writeFile(file, binary);
  read = pins.load();
  EXPECT_TRUE(read.pins.empty());
  EXPECT_TRUE(pins.pins().empty());
  EXPECT_FALSE(read.unreadable);

  moxtest::writeFile(file, std::string(mox::PlanPins::kMaxFileBytes + 1, '\n'));
  read = pins.load();
  EXPECT_TRUE(read.unreadable);
  EXPECT_TRUE(pins.pins().empty());
}

}  // namespace
