// SPDX-License-Identifier: GPL-3.0-or-later
// The manual pages and the shell completion against rurctl's own definitions: a command, option
// or setting added to the code and forgotten in them (or left there after it went) fails here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <unistd.h>

#include "cli/command_line.h"
#include "cli/command_table.h"
#include "cli/settings_keys.h"

namespace {

namespace fs = std::filesystem;
using Words = std::set<std::string>;

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(RUR_SOURCE_DIR) + "/" + relative);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The page as its reader sees the words: "\-" is a hyphen.
std::string ManualText(const std::string& relative) {
  return std::regex_replace(ReadSource(relative), std::regex(R"(\\-)"), "-");
}

Words AllOptions() {
  Words all;
  for (const std::string& name : rur::cli::LongOptionNames("")) all.insert(name);
  for (const rur::cli::Command& command : rur::cli::Commands())
    for (const std::string& name : rur::cli::LongOptionNames(std::string(command.name))) all.insert(name);
  return all;
}

TEST(Documentation, RurctlManualNamesEveryCommandAndOptionAndNoOtherOption) {
  const std::string page = ManualText("data/man/rurctl.1.in");
  const std::size_t commands = page.find(".SH COMMANDS"), options = page.find(".SH OPTIONS");
  ASSERT_NE(commands, std::string::npos);
  ASSERT_NE(options, std::string::npos);
  const std::string commandSection = page.substr(commands, options - commands);
  for (const rur::cli::Command& command : rur::cli::Commands()) {
    // Each command heads an entry of its own: ".B name", ".BI "name ..." or ".BR "name ...".
    const std::regex heading("\n\\.B[IR]? \"?" + std::string(command.name) + "[ \"\n]");
    EXPECT_TRUE(std::regex_search(commandSection, heading)) << command.name << " has no entry under COMMANDS";
    for (const std::string& option : rur::cli::LongOptionNames(std::string(command.name)))
      EXPECT_NE(commandSection.find(option), std::string::npos) << command.name << " " << option;
  }
  const std::string optionSection = page.substr(options);
  for (const std::string& option : rur::cli::LongOptionNames(""))
    EXPECT_NE(optionSection.find(option), std::string::npos) << option << " is not under OPTIONS";

  // The examples may show other programs' options; the commands and options may not.
  const Words known = AllOptions();
  const std::string described = page.substr(commands, page.find(".SH FILES") - commands);
  const std::regex anyOption("--[a-z][a-z-]*[a-z]");
  for (auto it = std::sregex_iterator(described.begin(), described.end(), anyOption); it != std::sregex_iterator();
       ++it)
    EXPECT_TRUE(known.count(it->str()) == 1) << it->str() << " is in the manual but rurctl has no such option";
}

TEST(Documentation, SettingsManualGivesEveryKeyItsTypeAndDefault) {
  const std::string page = ManualText("data/man/rode-rur-settings.5.in");
  const std::size_t values = page.find(".SH VALUES"), after = page.find(".SH EXAMPLES");
  ASSERT_NE(values, std::string::npos);
  const std::string section = page.substr(values, after - values);
  for (const rur::cli::SettingKey& key : rur::cli::SettingKeys()) {
    // ".TP", the key (".B Key" or ".BR Key ..."), then "type; default D." and what it does.
    std::size_t heading = section.find("\n.B " + key.name + "\n");
    if (heading == std::string::npos) heading = section.find("\n.BR " + key.name + " ");
    ASSERT_NE(heading, std::string::npos) << key.name << " is not described";
    const std::size_t line = section.find('\n', heading + 1) + 1;
    EXPECT_EQ(section.substr(line, section.find('\n', line) - line), key.type + "; default " + key.defaultText + ".")
        << key.name;
  }
  std::size_t entries = 0;
  for (std::size_t at = 0; (at = section.find("\n.TP\n", at)) != std::string::npos; ++at) ++entries;
  EXPECT_EQ(entries, rur::cli::SettingKeys().size()) << "a value in the page is not in the table";
}

// What the completion offers for a command line whose last word is being typed, in `folder`.
Words Complete(const std::vector<std::string>& words, const fs::path& folder) {
  std::string array;
  std::string line;
  for (const std::string& word : words) {
    array += " '" + word + "'";
    line += (line.empty() ? "" : " ") + word;
  }
  const std::string script = "source /usr/share/bash-completion/bash_completion && source '" +
                             std::string(RUR_SOURCE_DIR) + "/data/completion/rurctl' && cd '" + folder.string() +
                             "' && COMP_WORDS=(" + array + ") && COMP_CWORD=" + std::to_string(words.size() - 1) +
                             " && COMP_LINE='" + line + "' && COMP_POINT=${#COMP_LINE} && _rurctl; " +
                             "printf '%s\\n' \"${COMPREPLY[@]}\"";
  const fs::path scriptFile = folder / "complete.sh";
  std::ofstream(scriptFile) << script << '\n';
  Words offered;
  FILE* pipe = ::popen(("bash " + scriptFile.string() + " 2>&1").c_str(), "r");
  char buffer[512];
  while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    std::string word(buffer);
    if (!word.empty() && word.back() == '\n') word.pop_back();
    if (!word.empty()) offered.insert(word);
  }
  if (pipe != nullptr) ::pclose(pipe);
  return offered;
}

TEST(Documentation, CompletionOffersWhatTheCommandLineTakes) {
  ASSERT_TRUE(fs::exists("/usr/share/bash-completion/bash_completion")) << "install bash-completion";
  const fs::path folder = fs::temp_directory_path() / ("rur-completion-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "image.bin") << "x";

  Words commands{"help"};
  for (const rur::cli::Command& command : rur::cli::Commands()) commands.insert(std::string(command.name));
  Words global{"--simulate="};
  for (const std::string& option : rur::cli::LongOptionNames("")) global.insert(option);
  Words keys;
  for (const std::string& key : rur::cli::MailSetKeys()) keys.insert(key);

  EXPECT_EQ(Complete({"rurctl", ""}, folder), commands);
  EXPECT_EQ(Complete({"rurctl", "--simulate", "help", ""}, folder), commands);
  EXPECT_EQ(Complete({"rurctl", "--"}, folder), global);
  for (const rur::cli::Command& command : rur::cli::Commands()) {
    Words options = global;
    for (const std::string& option : rur::cli::LongOptionNames(std::string(command.name))) options.insert(option);
    EXPECT_EQ(Complete({"rurctl", std::string(command.name), "--"}, folder), options) << command.name;
  }
  // The words after a command, also behind options that take a value.
  EXPECT_EQ(Complete({"rurctl", "mail-set", ""}, folder), keys);
  EXPECT_EQ(Complete({"rurctl", "--data-dir", "/tmp", "mail-set", ""}, folder), keys);
  EXPECT_EQ(Complete({"rurctl", "mail-set", "Password", ""}, folder), Words{"-"});
  EXPECT_EQ(Complete({"rurctl", "mail-recipients", ""}, folder), (Words{"add", "remove"}));
  EXPECT_EQ(Complete({"rurctl", "mail-recipients", "add", ""}, folder), Words{});
  EXPECT_EQ(Complete({"rurctl", "firmware", "im"}, folder), Words{"image.bin"});
  EXPECT_EQ(Complete({"rurctl", "--simulate", "firmware-backup", "--length", "4096", "im"}, folder),
            Words{"image.bin"});
  fs::remove_all(folder);
}

}  // namespace
