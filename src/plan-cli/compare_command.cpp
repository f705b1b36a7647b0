#include "plan-cli/compare_command.h"

#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "plan-cli/output.h"
#include "plan/compare.h"
#include "plan/link.h"

namespace mox::plancli {

namespace {

using nlohmann::json;
using plan::PlanError;

constexpr const char* kHeads[plan::kColumns] = {"平均", "一半玩家 ≤", "九成玩家 ≤", "99% 玩家 ≤", "预算内成功"};
constexpr const char* kKeys[plan::kColumns] = {"expected_cost", "50", "90", "99", "within_budget"};

std::vector<plan::LinkQuestion> questionsOf(const Arguments& a) {
  if (a.positional.empty()) throw PlanError("compare takes 1 to 4 FRAGMENTs (a planner link's part after '#')");
  if (a.positional.size() > plan::kMaxCompared) {
    throw PlanError("compare takes at most 4 FRAGMENTs, not " + std::to_string(a.positional.size()));
  }
  std::vector<plan::LinkQuestion> questions;
  for (size_t i = 0; i < a.positional.size(); ++i) {
    const std::optional<plan::LinkQuestion> q = plan::readLinkFragment(a.positional[i]);
    if (!q) {
      throw PlanError("FRAGMENT " + std::to_string(i + 1) + " '" + a.positional[i] +
                      "' is not a planner question (v=1&from=...&to=...&goal=...&budget=...&bonus=...&way=...)");
    }
    questions.push_back(*q);
  }
  return questions;
}

json orNull(const std::optional<double>& v) { return v ? json(*v) : json(nullptr); }

json indexOrNull(const std::optional<size_t>& i) { return i ? json(*i + 1) : json(nullptr); }

void printJson(const plan::Comparison& c) {
  json plans = json::array();
  for (const plan::ComparedRow& r : c.rows) {
    json best = json::array();
    for (size_t col = 0; col < plan::kColumns; ++col) {
      if (r.best[col]) best.push_back(kKeys[col]);
    }
    json row{{"fragment", plan::linkFragment(r.question)},
             {"words", r.words},
             {"expected_cost", orNull(r.cell[plan::kMean])},
             {"percentiles",
              {{"50", orNull(r.cell[plan::kHalf])},
               {"90", orNull(r.cell[plan::kNinety])},
               {"99", orNull(r.cell[plan::kNinetyNine])}}},
             {"budget", r.question.budget},
             {"within_budget", orNull(r.cell[plan::kWithinBudget])},
             {"best", best}};
    if (!r.error.empty()) row["error"] = r.error;
    plans.push_back(row);
  }
  std::cout << json{{"plans", plans},
                    {"cheapest", indexOrNull(c.cheapest)},
                    {"steady", indexOrNull(c.steady)},
                    {"picks", plan::picksText(c)}}
                   .dump()
            << "\n";
}

// A cell for people: money or a chance, '*' after the best of its column, '-' where there is no figure.
std::string cellText(const plan::ComparedRow& r, size_t col) {
  const std::optional<double>& v = r.cell[col];
  if (!v) return "- ";
  return (col == plan::kWithinBudget ? percent(*v) : money(*v) + " Q币") + (r.best[col] ? "*" : " ");
}

void printTable(const plan::Comparison& c) {
  int wordsWidth = columns("plan");
  for (const plan::ComparedRow& r : c.rows) wordsWidth = std::max(wordsWidth, columns(r.words));
  constexpr int kCell = 15;
  std::printf("Plans side by side (* the best of each column)\n");
  std::printf("  #  %s  %s", left("plan", wordsWidth).c_str(), right("预算", 12).c_str());
  for (const char* head : kHeads) std::printf(" %s", right(std::string(head) + " ", kCell).c_str());
  std::printf("\n");
  for (size_t i = 0; i < c.rows.size(); ++i) {
    const plan::ComparedRow& r = c.rows[i];
    std::printf("  %s  %s  %s", std::to_string(i + 1).c_str(), left(r.words, wordsWidth).c_str(),
                right(money(r.question.budget) + " Q币", 12).c_str());
    if (!r.error.empty()) {
      std::printf("  cannot be figured: %s\n", r.error.c_str());
      continue;
    }
    for (size_t col = 0; col < plan::kColumns; ++col) std::printf(" %s", right(cellText(r, col), kCell).c_str());
    std::printf("\n");
  }
  if (const std::string picks = plan::picksText(c); !picks.empty()) std::printf("%s\n", picks.c_str());
}

}  // namespace

int compareCommand(const Arguments& a) {
  const std::vector<plan::LinkQuestion> questions = questionsOf(a);
  std::vector<plan::QuestionFigures> figures;
  for (const plan::LinkQuestion& q : questions) figures.push_back(plan::figureQuestion(q));
  const plan::Comparison c = plan::compare(questions, figures);
  if (a.json) {
    printJson(c);
  } else {
    printTable(c);
  }
  return 0;
}

}  // namespace mox::plancli
