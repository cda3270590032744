// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated enclosures of a scenario served over NBD by nbdkit, so that a virtual machine's
// SCSI disks are simulated drives: the guest kernel's SG_IO requests reach the same controller
// code as the in-process tests. Export "N" (or the default export) is drive N of the scenario.
//
//   nbdkit --foreground --unix SOCKET ./nbdkit-rursim-plugin.so scenario=FILE [drive=N]
//          [state=DIR] [trace=FILE] [log=FILE] [disk=FILE] [info=FILE] [start=FILE]
//
// Requests are served one at a time, as one controller would see them.

#define NBDKIT_API_VERSION 2
#include <nbdkit-plugin.h>

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "emulator/nbd/exported_drive.h"
#include "emulator/scenario.h"
#include "emulator/simulated_host.h"
#include "platform/clock.h"

#define THREAD_MODEL NBDKIT_THREAD_MODEL_SERIALIZE_ALL_REQUESTS

namespace {

using rur::sim::ExportedDrive;
using rur::sim::SimulatedHost;

struct Settings {
  std::string scenario;
  std::string defaultDrive;  // empty: the first enclosure
  std::string stateDir;
  std::string traceFile;
  std::string logFile;
  std::string diskImage;
  std::string infoFile;
  std::string startFile;  // empty: the timeline runs from the start
};

// Real time that stands still until a file appears, so a test that boots a slow guest can say
// when the scenario's timeline begins: its times count from that moment.
class StartSignalClock final : public rur::Clock {
 public:
  void waitFor(std::string path) {
    startFile_ = std::move(path);
    frozenAtMs_ = real_.nowMs();
  }
  std::uint64_t nowMs() override {
    if (!startFile_.empty()) {
      struct stat info {};
      if (::stat(startFile_.c_str(), &info) != 0) return frozenAtMs_;
      lostMs_ = real_.nowMs() - frozenAtMs_;
      startFile_.clear();
    }
    return real_.nowMs() - lostMs_;
  }
  void sleepMs(std::uint64_t ms) override { real_.sleepMs(ms); }
  rur::LocalDateTime localTime() override { return real_.localTime(); }

 private:
  rur::RealClock real_;
  std::string startFile_;
  std::uint64_t frozenAtMs_ = 0;
  std::uint64_t lostMs_ = 0;
};

// What the server holds from configuration to shutdown. nbdkit is C: nothing may throw past
// a callback, so each callback catches at its edge.
struct Server {
  Settings settings;
  StartSignalClock clock;
  std::unique_ptr<SimulatedHost> host;
  unsigned defaultDrive = 0;
  std::map<unsigned, std::unique_ptr<ExportedDrive>> exports;
  std::FILE* log = nullptr;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

Server* server = nullptr;

struct Connection {
  unsigned drive;
  ExportedDrive* exported;
};

bool ParseDrive(const std::string& text, unsigned& drive) {
  if (text.empty() || text.size() > 1 || text[0] < '0' || text[0] > '9') return false;
  drive = static_cast<unsigned>(text[0] - '0');
  return true;
}

void Load() { server = new Server; }

void Unload() {
  delete server;
  server = nullptr;
}

int Config(const char* key, const char* value) {
  const std::string name = key;
  Settings& settings = server->settings;
  std::string* target = name == "scenario" ? &settings.scenario
                        : name == "drive"  ? &settings.defaultDrive
                        : name == "state"  ? &settings.stateDir
                        : name == "trace"  ? &settings.traceFile
                        : name == "log"    ? &settings.logFile
                        : name == "disk"   ? &settings.diskImage
                        : name == "info"   ? &settings.infoFile
                        : name == "start"  ? &settings.startFile
                                           : nullptr;
  if (target == nullptr) {
    nbdkit_error("unknown parameter %s", key);
    return -1;
  }
  *target = value;
  return 0;
}

// One line per drive, tab-separated, for the script that starts the virtual machine: number,
// "enclosure" or "disk", plugged at start (1/0), size in bytes, INQUIRY vendor, product, revision.
// The hypervisor answers INQUIRY itself, so it has to be told what the bridge would say.
bool WriteInfo(const std::string& path, std::string& error) {
  std::ofstream info(path, std::ios::trunc);
  for (const rur::sim::DriveSpec& drive : server->host->scenario().drives) {
    ExportedDrive sized(*server->host, drive.number);
    info << drive.number << '\t' << (drive.type == rur::sim::DriveType::Enclosure ? "enclosure" : "disk") << '\t'
         << (drive.plugged ? 1 : 0) << '\t' << sized.sizeBytes() << '\t' << drive.inquiry.vendor << '\t'
         << drive.inquiry.product << '\t' << drive.inquiry.revision << '\n';
  }
  if (!info.flush()) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

int ConfigComplete() {
  try {
    Settings& settings = server->settings;
    const std::string path = settings.scenario.empty() ? rur::sim::BundledScenarioPath("demo") : settings.scenario;
    rur::sim::Scenario scenario;
    std::string error;
    if (!rur::sim::LoadScenarioFile(path, scenario, error)) {
      nbdkit_error("%s", error.c_str());
      return -1;
    }
    bool found = false;
    if (!settings.defaultDrive.empty()) {
      if (!ParseDrive(settings.defaultDrive, server->defaultDrive)) {
        nbdkit_error("drive must be a number 0..9");
        return -1;
      }
      for (const auto& drive : scenario.drives) found = found || drive.number == server->defaultDrive;
    } else {
      for (const auto& drive : scenario.drives) {
        if (drive.type != rur::sim::DriveType::Enclosure) continue;
        server->defaultDrive = drive.number;
        found = true;
        break;
      }
    }
    if (!found) {
      nbdkit_error("the scenario has no drive %s",
                   settings.defaultDrive.empty() ? "that is an enclosure" : settings.defaultDrive.c_str());
      return -1;
    }
    if (!settings.startFile.empty()) server->clock.waitFor(settings.startFile);
    server->host = std::make_unique<SimulatedHost>(std::move(scenario), server->clock);
    if (!settings.stateDir.empty() && !server->host->loadState(settings.stateDir, error)) {
      nbdkit_error("%s", error.c_str());
      return -1;
    }
    if (!settings.traceFile.empty() && !server->host->setTraceFile(settings.traceFile)) {
      nbdkit_error("cannot open the trace file %s", settings.traceFile.c_str());
      return -1;
    }
    if (!settings.logFile.empty()) {
      server->log = std::fopen(settings.logFile.c_str(), "w");
      if (server->log == nullptr) {
        nbdkit_error("cannot open the request log %s", settings.logFile.c_str());
        return -1;
      }
      std::fputs("# microseconds-since-start duration-us op drive lba sectors completed\n", server->log);
    }
    if (!settings.infoFile.empty() && !WriteInfo(settings.infoFile, error)) {
      nbdkit_error("%s", error.c_str());
      return -1;
    }
    return 0;
  } catch (const std::exception& e) {
    nbdkit_error("%s", e.what());
    return -1;
  }
}

ExportedDrive* ExportOf(unsigned drive) {
  auto& exported = server->exports[drive];
  if (!exported) {
    exported = std::make_unique<ExportedDrive>(*server->host, drive);
    if (drive == server->defaultDrive && !server->settings.diskImage.empty()) {
      std::string error;
      if (!exported->setDiskImage(server->settings.diskImage, error)) {
        server->exports.erase(drive);
        nbdkit_error("%s", error.c_str());
        return nullptr;
      }
    }
  }
  return exported.get();
}

void* Open(int /*readonly*/) {
  try {
    const char* name = nbdkit_export_name();
    const std::string exportName = name ? name : "";
    unsigned drive = server->defaultDrive;
    if (!exportName.empty() && !ParseDrive(exportName, drive)) {
      nbdkit_error("export %s: expected a drive number 0..9", exportName.c_str());
      return nullptr;
    }
    bool known = false;
    for (const auto& spec : server->host->scenario().drives) known = known || spec.number == drive;
    if (!known) {
      nbdkit_error("the scenario has no drive %u", drive);
      return nullptr;
    }
    ExportedDrive* exported = ExportOf(drive);
    if (exported == nullptr) return nullptr;
    return new Connection{drive, exported};
  } catch (const std::exception& e) {
    nbdkit_error("%s", e.what());
    return nullptr;
  }
}

void SaveState() {
  if (server->log) std::fflush(server->log);
  if (server->settings.stateDir.empty() || !server->host) return;
  std::string error;
  if (!server->host->saveState(server->settings.stateDir, error)) nbdkit_error("%s", error.c_str());
}

// The client is gone (the virtual machine stopped): what the enclosures went through is saved
// now, so it is there even when the server itself is killed later.
void Close(void* handle) {
  try {
    const auto* connection = static_cast<Connection*>(handle);
    const ExportedDrive::Counters counts = connection->exported->counters();
    nbdkit_debug(
        "drive %u: %llu reads (%llu single-sector), %llu sectors, %llu failed, %llu writes refused", connection->drive,
        static_cast<unsigned long long>(counts.reads), static_cast<unsigned long long>(counts.singleSectorReads),
        static_cast<unsigned long long>(counts.sectorsRead), static_cast<unsigned long long>(counts.failedReads),
        static_cast<unsigned long long>(counts.refusedWrites));
    delete connection;
    SaveState();
  } catch (const std::exception& e) {
    nbdkit_error("%s", e.what());
  }
}

void Cleanup() {
  try {
    SaveState();
    server->exports.clear();
    server->host.reset();
    if (server->log) std::fclose(server->log);
    server->log = nullptr;
  } catch (const std::exception& e) {
    nbdkit_error("%s", e.what());
  }
}

int64_t GetSize(void* handle) { return static_cast<int64_t>(static_cast<Connection*>(handle)->exported->sizeBytes()); }

// The server advertises a writable disk, as a real enclosure's is, so that any write the guest
// attempts reaches the drive and is counted there instead of being stopped by the server.
int CanWrite(void*) { return 1; }

int BlockSize(void*, uint32_t* minimum, uint32_t* preferred, uint32_t* maximum) {
  *minimum = 512;
  *preferred = 4096;
  *maximum = 0xFFFF * 512u;
  return 0;
}

void LogRequest(std::chrono::steady_clock::time_point begin, char operation, unsigned drive, uint64_t offset,
                uint32_t count, bool completed) {
  if (server->log == nullptr) return;
  const auto end = std::chrono::steady_clock::now();
  const auto since = std::chrono::duration_cast<std::chrono::microseconds>(begin - server->started).count();
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(end - begin).count();
  std::fprintf(server->log, "%lld %lld %c %u %llu %u %d\n", static_cast<long long>(since), static_cast<long long>(took),
               operation, drive, static_cast<unsigned long long>(offset / 512), (count + 511) / 512, completed ? 1 : 0);
}

int PRead(void* handle, void* buffer, uint32_t count, uint64_t offset, uint32_t /*flags*/) {
  try {
    auto* connection = static_cast<Connection*>(handle);
    const auto begin = std::chrono::steady_clock::now();
    const bool completed = connection->exported->Read(static_cast<std::uint8_t*>(buffer), count, offset);
    LogRequest(begin, 'R', connection->drive, offset, count, completed);
    if (completed) return 0;
    nbdkit_set_error(EIO);
    return -1;
  } catch (const std::exception& e) {
    nbdkit_error("%s", e.what());
    nbdkit_set_error(EIO);
    return -1;
  }
}

int PWrite(void* handle, const void*, uint32_t count, uint64_t offset, uint32_t /*flags*/) {
  try {
    auto* connection = static_cast<Connection*>(handle);
    const auto begin = std::chrono::steady_clock::now();
    connection->exported->Write(count, offset);
    LogRequest(begin, 'W', connection->drive, offset, count, false);
    nbdkit_error("drive %u: write of %u bytes at %llu refused", connection->drive, count,
                 static_cast<unsigned long long>(offset));
  } catch (const std::exception& e) {
    nbdkit_error("%s", e.what());
  }
  nbdkit_set_error(EROFS);
  return -1;
}

nbdkit_plugin MakePlugin() {
  nbdkit_plugin plugin{};
  plugin.name = "rursim";
  plugin.longname = "RODE RUR simulated enclosure";
  plugin.description = "the drives of a RODE RUR scenario, served as disks";
  plugin.load = Load;
  plugin.unload = Unload;
  plugin.config = Config;
  plugin.config_complete = ConfigComplete;
  plugin.config_help =
      "scenario=FILE   the scenario (default: the bundled demo)\n"
      "drive=N         the drive of the default export (default: the first enclosure)\n"
      "state=DIR       enclosure state: loaded at start, saved when a client disconnects\n"
      "trace=FILE      one line per request a drive receives\n"
      "log=FILE        one line per request with its time and duration\n"
      "disk=FILE       an image laid over the start of the default drive\n"
      "info=FILE       the drives' sizes and INQUIRY fields, for the hypervisor\n"
      "start=FILE      the timeline waits until FILE exists, and counts from then";
  plugin.open = Open;
  plugin.close = Close;
  plugin.get_size = GetSize;
  plugin.can_write = CanWrite;
  plugin.pread = PRead;
  plugin.pwrite = PWrite;
  plugin.errno_is_preserved = 0;
  plugin.cleanup = Cleanup;
  plugin.block_size = BlockSize;
  return plugin;
}

nbdkit_plugin plugin = MakePlugin();

}  // namespace

NBDKIT_REGISTER_PLUGIN(plugin)
