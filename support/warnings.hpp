// Warning queue: warnings are reported at once, collected for a summary, or suppressed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra {

enum class WarnLevel : int { off = 0, now = 1, later = 2 };

void warnoff();
void warnnow();
void warnlater();
WarnLevel warnlevel();

void setcurrentcmd(std::string_view command);
void clearcurrentcmd();

void addwarning(std::string_view type, std::string_view command, std::string_view message);
void inputwarn(std::string_view message);
void genericwarn(std::string_view message);
void deprecationwarn(std::string_view command, std::optional<std::string_view> replacement = std::nullopt);

void push(std::string text);
// Writes the summary to the log unit and standard error when warnings are being queued.
void printwarnings();
// Writes the summary to one unit; unit 0 means standard error.
void writewarnings(int unit);

const std::vector<std::string>& queuedwarnings();

namespace testing_only {
void resetwarnings();
}

}  // namespace kelpra
