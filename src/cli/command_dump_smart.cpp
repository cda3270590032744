// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl dump-smart: the SMART data and threshold pages of the first enclosure, written to the
// next free dSMART and sSMART files of the data folder.

#include "cli/engine_session.h"
#include "smart/dump_file.h"

namespace rur::cli {

int RunDumpSmart(CommandContext& context) {
  if (!StartAndDetect(context, "dump-smart")) return kExitFailed;
  Engine& engine = context.env.engine();
  if (engine.deviceCount() == 0) {
    context.err << "dump-smart: No Drive found!\n";
    return kExitFailed;
  }
  engine.ReadSmartNow();
  const SmartDumpPaths paths = DumpSmartPages(engine.smart().state(), context.env.dataDirectory(), context.env.ui());
  if (paths.data) context.out << paths.data->string() << '\n';
  if (paths.thresholds) context.out << paths.thresholds->string() << '\n';
  return paths.data && paths.thresholds ? kExitOk : kExitFailed;
}

}  // namespace rur::cli
