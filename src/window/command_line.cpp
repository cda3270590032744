// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "emulator/scenario.h"
#include "platform/branding.h"
#include "window/qt_text.h"

namespace rur::ui {
namespace {

// Qt's own options, which QApplication takes from the command line: they are passed on, not
// refused as unknown (with one dash or two, their value as the next word or after "=").
const QStringList kQtOptionsWithValue{QStringLiteral("platform"),
                                      QStringLiteral("platformpluginpath"),
                                      QStringLiteral("platformtheme"),
                                      QStringLiteral("plugin"),
                                      QStringLiteral("qwindowgeometry"),
                                      QStringLiteral("qwindowicon"),
                                      QStringLiteral("qwindowtitle"),
                                      QStringLiteral("display"),
                                      QStringLiteral("geometry"),
                                      QStringLiteral("title"),
                                      QStringLiteral("name"),
                                      QStringLiteral("session"),
                                      QStringLiteral("style"),
                                      QStringLiteral("stylesheet"),
                                      QStringLiteral("visual"),
                                      QStringLiteral("qmljsdebugger")};
const QStringList kQtFlags{QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                           QStringLiteral("dograb"),  QStringLiteral("sync"),        QStringLiteral("testability")};

// How many words from `at` are one of Qt's options: 0 when the word is none.
int QtOptionWords(const std::vector<std::string>& args, std::size_t at) {
  QString word = Q(args[at]);
  if (word.startsWith(QStringLiteral("--"))) word.remove(0, 1);
  if (!word.startsWith(QLatin1Char('-'))) return 0;
  word.remove(0, 1);
  const QString name = word.section(QLatin1Char('='), 0, 0);
  if (kQtFlags.contains(word)) return 1;
  if (!kQtOptionsWithValue.contains(name)) return 0;
  if (word.contains(QLatin1Char('='))) return 1;
  return at + 1 < args.size() ? 2 : 0;  // a value-less one is left to be refused
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption simulate(QStringLiteral("simulate"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption dataDir(QStringLiteral("data-dir"), QString(), QStringLiteral("DIR"));
  const QCommandLineOption simState(QStringLiteral("sim-state"), QString(), QStringLiteral("DIR"));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  const QCommandLineOption exec(QStringLiteral("exec"), QString(), QStringLiteral("PROG"));
  const QCommandLineOption debug(QStringLiteral("debug"));
  const QCommandLineOption allDisks(QStringLiteral("all-disks"));
  parser.addOptions({simulate, dataDir, simState, help, version, debug, allDisks, exec});

  // The parser knows no option with an optional value: a bare --simulate means the demo.
  QStringList words{QStringLiteral("rode-rur")};
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (const int qtWords = QtOptionWords(args, i); qtWords > 0) {
      i += static_cast<std::size_t>(qtWords - 1);
      continue;
    }
    if (args[i] == "--simulate") {
      out.options.simulate = true;
      continue;
    }
    words << Q(args[i]);
  }
  if (!parser.parse(words)) {
    error = Std(parser.errorText());
    return false;
  }
  // Session managers and desktop files may pass words of their own; they are not ours to judge.
  out.help = parser.isSet(help);
  out.version = parser.isSet(version);
  out.debug = parser.isSet(debug);
  out.options.allDisks = parser.isSet(allDisks);
  if (parser.isSet(simulate)) {
    out.options.simulate = true;
    const std::string value = Std(parser.value(simulate));
    if (value.empty()) {
      error = "--simulate= needs a scenario file";
      return false;
    }
    if (!sim::ResolveScenarioArgument(value, out.options.scenarioPath, error)) return false;
  }
  for (const auto& [option, field] :
       {std::pair{&dataDir, &out.options.dataDir}, {&simState, &out.options.simStateDir}}) {
    if (!parser.isSet(*option)) continue;
    *field = Std(parser.value(*option));
    if (field->empty()) {
      error = "--" + Std(option->names().front()) + " needs a value";
      return false;
    }
  }
  for (const QString& program : parser.values(exec)) {
    if (program.isEmpty()) {
      error = "--exec needs a program";
      return false;
    }
    out.options.eventPrograms.push_back(Std(program));
  }
  if (!out.options.simulate && !out.options.simStateDir.empty()) {
    error = "--sim-state works with --simulate only";
    return false;
  }
  return true;
}

std::string CommandLineHelp() {
  return "Usage: rode-rur [options]\n"
         "  --simulate[=FILE]   work on simulated enclosures: the scenario FILE, or a bundled scenario by\n"
         "                      name (demo, striping, jbod, bypass, port-multiplier, two-enclosures,\n"
         "                      faults); without FILE the demo\n"
         "  --sim-state DIR     keep the simulated enclosures' state in DIR between runs\n"
         "  --data-dir DIR      keep the program's files (logs, dumps, settings) in DIR\n"
         "  --exec PROG         run PROG on every event but rebuild progress, as rurctl monitor --exec\n"
         "                      does (repeatable)\n"
         "  --debug             show the refresh and mail trace counters in the status bar\n"
         "  --all-disks         look for enclosures on every disk, not only on USB disks (also the\n"
         "                      setting ProbeAllDisks = 1)\n"
         "  -h, --help          show this help\n"
         "  --version           show the version\n"
         "Qt's own options (-style, -stylesheet, -platform, -display, ...) are passed to Qt.\n"
         "Without --simulate the program works on the host's disks.\n";
}

std::string VersionLine() { return "rode-rur " + std::string(VersionText) + "\n"; }

}  // namespace rur::ui
