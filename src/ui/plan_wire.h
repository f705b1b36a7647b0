#pragma once
// The planner's questions and answers as bytes, for figuring done in another instance of the program (the page's
// Web Worker) and handed back: both sides read and write them here, so the form is in one place. Numbers go as
// their exact bits (a double's eight bytes), so an answer read back equals the one figured, to the last bit.
#include <optional>
#include <string>

#include "ui/plan_figuring.h"

namespace mox::wire {

// A message starts with its kind.
enum class Kind : char { PlanQuestion = 'P', LuckQuestion = 'L', PlanAnswer = 'p', LuckAnswer = 'l' };

std::string write(const PlanInputs& in);
std::string write(const LuckInputs& in);
std::string write(const PlanOutcome& out);
std::string write(const LuckOutcome& out);

// The kind of a message, or nullopt for an empty one or a kind not listed.
std::optional<Kind> kindOf(const std::string& bytes);
// Read back; nullopt when the bytes are not a whole message of that kind (cut short, too long, a count out of
// range).
std::optional<PlanInputs> readPlanInputs(const std::string& bytes);
std::optional<LuckInputs> readLuckInputs(const std::string& bytes);
std::optional<PlanOutcome> readPlanOutcome(const std::string& bytes);
std::optional<LuckOutcome> readLuckOutcome(const std::string& bytes);

// A question answered: a plan question gives a plan answer, a luck question a luck answer (the luck going on from
// `walks`); anything else gives an empty string.
std::string answer(const std::string& question, const std::shared_ptr<LuckWalks>& walks);

}  // namespace mox::wire
