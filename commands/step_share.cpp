// Reading `convert --step`: the number with an optional percent sign, then the checks that catch
// the answers the plug-in would silently take as "keep every sample".
#include "commands/step_share.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "writers/number_text.h"

namespace dustweave {

namespace {

std::string Trimmed(const std::string& text) {
  size_t start = text.find_first_not_of(" \t"), end = text.find_last_not_of(" \t");
  return start == std::string::npos ? "" : text.substr(start, end - start + 1);
}

// The whole of `text` as a finite number; nullopt when it is anything else.
std::optional<double> NumberOf(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

constexpr const char* EITHER_FORM = "give a fraction (0.25) or a percent (25%)";

}  // namespace

std::optional<double> StepFraction(const std::string& given, std::string* reason) {
  std::string text = Trimmed(given);
  bool percent = !text.empty() && text.back() == '%';
  std::optional<double> number = NumberOf(percent ? Trimmed(text.substr(0, text.size() - 1)) : text);
  std::string named = "--step " + given;
  if (!number) {
    *reason = named + " is not a share of the samples: " + EITHER_FORM;
    return std::nullopt;
  }
  if (*number <= 0) {
    *reason = named + " is not a share of the samples: leave --step out to keep every sample, or " + EITHER_FORM;
    return std::nullopt;
  }
  if (percent && *number > 100) {
    *reason = named + " is more than every sample: give 100% at most";
    return std::nullopt;
  }
  if (!percent && *number > 1) {
    *reason = named + " would keep every sample: give a fraction (" + ShortestText(*number / 100) +
              ") or a percent (" + ShortestText(*number) + "%)";
    return std::nullopt;
  }
  return percent ? *number / 100 : *number;
}

std::string RunStepNumber(std::string& given) {
  std::string text = Trimmed(given);
  bool percent = !text.empty() && text.back() == '%';
  if (percent) text = Trimmed(text.substr(0, text.size() - 1));
  double value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return "--step " + given + " is no number: give a fraction (0.25, nan, inf) or a percent (25%)";
  given = ShortestText(percent ? value / 100 : value);
  return "";
}

std::string AnswersCaption(const std::optional<double>& fraction, bool startPolygon) {
  char step[32] = "every sample";
  if (fraction) std::snprintf(step, sizeof step, "step %.4g %%", *fraction * 100);
  return std::string(step) + (startPolygon ? " \xC2\xB7 poly at start on" : " \xC2\xB7 poly at start off");
}

}  // namespace dustweave
