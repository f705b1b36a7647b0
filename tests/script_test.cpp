// The script driver as its users run it (moxsim-script): a line whose words do not fit its command is refused with
// its number and the script runs on; each query answers a line; quit ends the script.
#include "app_fixture.h"
#include "run_program.h"

namespace {

moxtest::Run scriptRun(const moxtest::Program& p, const std::string& lines) {
  return moxtest::runProgram("moxsim-script", moxtest::quoted(p.dir()), lines);
}

}  // namespace

TEST(ScriptDriver, RefusesWordsThatDoNotFitTheirCommandAndRunsOn) {
  moxtest::Program p;
  const moxtest::Run run = scriptRun(p,
                                     "frobnicate\nclick\nclick 没有这个\nselect 组合框1\nselect 组合框1 x\n"
                                     "scroll 组合框1 2147483648\ntick -1\ntick many\nclock\nclock 4294967296\n"
                                     "escape 别的窗口\ntop\ncaption 标签5\n");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out,
            "error: line 1: unknown command frobnicate\n"
            "error: line 2: click needs a control name\n"
            "error: line 3: no control named 没有这个\n"
            "error: line 4: select needs an item index\n"
            "error: line 5: select needs an item index\n"
            "error: line 6: scroll needs a number of rows\n"
            "error: line 7: tick takes a count\n"
            "error: line 8: tick takes a count\n"
            "error: line 9: clock takes milliseconds\n"
            "error: line 10: clock takes milliseconds\n"
            "error: line 11: no window named 别的窗口\n"
            "error: line 12: top needs a control name\n"
            "0 Q币\n");
}

TEST(ScriptDriver, AnswersQueriesALineEachUntilQuit) {
  moxtest::Program p;
  const moxtest::Run run = scriptRun(p,
                                     "select 组合框1 2\nselected 组合框1\nclick 图形按钮2\nmoney\ncaption 标签5\n"
                                     "colour 标签3\npicture 图片框4\npicture 标签5\nenabled n1\nenabled n19\n"
                                     "checked 选择框1\nclick 选择框1\nchecked 选择框1\nshown 合成框\ntag a01\n"
                                     "clock 5000\ntick 3\nquit\ncaption 标签5\n");
  EXPECT_EQ(run.code, 0) << run.out;
  p.start();
  p.select("组合框1", 2);
  p.click("图形按钮2");
  const mox::SimState& s = p.state();
  EXPECT_EQ(run.out, "2\n" + std::to_string(s.qCoinBalance) + " " + std::to_string(s.rechargeTotal) + " " +
                         std::to_string(s.spendTotal) + "\n" + p.caption("标签5") +
                         "\n#ff0000\nheader\n-\n0\n1\n0\n1\n0\n37\n");
}
