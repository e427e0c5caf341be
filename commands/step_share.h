// The "step percent" answer as people give it to `convert --step`: a fraction of the samples
// (0.25) or a percent of them (25%), and its text in a caption. `run --step` takes any number
// as it is, since it exists to try the module's own handling of them, or a percent alike.
#pragma once

#include <optional>
#include <string>

namespace dustweave {

// The fraction `text` stands for, in (0, 1]; nullopt, with a one-line reason for a misuse
// message, for anything else: a bare number above 1 (a percent without its sign, which the
// plug-in would take as "every sample"), 0 or below, a percent above 100, or not a number.
std::optional<double> StepFraction(const std::string& text, std::string* reason);

// `run --step`'s text made the number it stands for ("25%" becomes "0.25"; nan and inf stay):
// empty, or the reason it is no number.
std::string RunStepNumber(std::string& text);

// "step 25 % · poly at start off": the panel's answers for a caption ("every sample" when no
// step is given).
std::string AnswersCaption(const std::optional<double>& fraction, bool startPolygon);

}  // namespace dustweave
