// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/simulated_controller.h"

#include <algorithm>
#include <cstring>

#include "emulator/answer_layout.h"
#include "emulator/byte_fields.h"
#include "emulator/disk_data.h"
#include "emulator/member_pages.h"
#include "emulator/start_image.h"
#include "transport/commands.h"
#include "transport/response_sector.h"
#include "transport/result_codes.h"

namespace rur::sim {
namespace {

constexpr std::size_t kExecutedKept = 256;
constexpr std::uint8_t kFisHostToDevice = 0x27;
constexpr std::uint8_t kFisCommandBit = 0x80;
constexpr std::size_t kFisLbaMid = 5;
constexpr std::size_t kFisLbaHigh = 6;
constexpr std::uint8_t kSmartLbaMid = 0x4F;
constexpr std::uint8_t kSmartLbaHigh = 0xC2;

bool IsQuery(std::uint8_t opcode) {
  return opcode == QUERY_PROBE || opcode == QUERY_IDENTITY || opcode == QUERY_REBUILD || opcode == QUERY_MEMBERS;
}

// Whether a frame's opcode is of the kind a fault names.
bool CommandOfKind(FaultCommand kind, std::uint8_t opcode) {
  switch (kind) {
    case FaultCommand::Any: return true;
    case FaultCommand::Query: return IsQuery(opcode);
    case FaultCommand::SpiRead: return opcode == CMD_SPI_READ;
    case FaultCommand::SpiErase: return opcode == CMD_SPI_ERASE;
    case FaultCommand::SpiWrite: return opcode == CMD_SPI_WRITE;
    case FaultCommand::AtaIssue: return opcode == CMD_ATA_ISSUE;
    case FaultCommand::AtaFetch: return opcode == CMD_ATA_FETCH;
  }
  return false;
}

bool IsSpi(std::uint8_t opcode) { return opcode == CMD_SPI_READ || opcode == CMD_SPI_ERASE || opcode == CMD_SPI_WRITE; }
bool IsAta(std::uint8_t opcode) { return opcode == CMD_ATA_ISSUE || opcode == CMD_ATA_FETCH; }

// A member whose bay holds a disk: present, being rebuilt, just inserted or failed.
bool HasDisk(std::uint8_t state) {
  return state == kMemberPresent || state == kMemberRebuilding || state == kMemberInserted || state == kMemberFailed;
}

std::uint32_t SpiAddress(const std::array<std::uint8_t, 3>& params) {
  return ((std::uint32_t{params[1]} << 8) | params[2]) * kSpiBlockSize;
}

}  // namespace

SimulatedController::SimulatedController(const DriveSpec& drive, Clock& clock, std::uint64_t programStartMs)
    : spec_(drive.enclosure),
      inquiry_(drive.inquiry),
      clock_(clock),
      programStartMs_(programStartMs),
      mode_(spec_.mode),
      fan_(spec_.fan),
      temperature_(spec_.temperature) {
  members_[portOf(1)] = spec_.members[0];
  members_[portOf(2)] = spec_.members[1];
  flash_.Fill(BuildStartImage(spec_.firmware, spec_.productCode));
  if (spec_.rebuild) {
    const RebuildSpec& r = *spec_.rebuild;
    startRebuild(portOf(r.hdd), r.speed, r.position, r.size);
  }
}

unsigned SimulatedController::portOf(unsigned hdd) const {
  const unsigned port = hdd == 2 ? 1u : 0u;
  return spec_.swapPorts ? 1u - port : port;
}

std::uint64_t SimulatedController::programTimeMs() const {
  const std::uint64_t now = clock_.nowMs();
  return now > programStartMs_ ? now - programStartMs_ : 0;
}

std::uint32_t SimulatedController::firmwareVersion() const {
  std::uint8_t field[4];
  flash_.Read(image_offset::kVersion, field, sizeof field);
  return static_cast<std::uint32_t>(GetBigEndian(field, sizeof field));
}

std::uint64_t SimulatedController::capacity() const {
  if (spec_.capacity) return *spec_.capacity;
  return DefaultArrayCapacity(mode_, members_[portOf(1)].disk.capacity, members_[portOf(2)].disk.capacity);
}

// ---- members and rebuild ----

bool SimulatedController::hasDisk(unsigned port) const { return HasDisk(members_.at(port).state); }

void SimulatedController::setMemberState(unsigned port, std::uint8_t state) {
  MemberSpec& member = members_.at(port);
  AdvanceRebuild();
  if (rebuild_.running && rebuild_.port == port && state != kMemberRebuilding) stopRebuild();
  if (rebuild_.running && rebuild_.port != port && state != kMemberPresent) {
    // The copy's source left: the controller gives the copy up, and the disk it was writing
    // holds only part of the data.
    stopRebuild();
    members_.at(rebuild_.port).state = kMemberInserted;
  }
  member.state = state;
  if (!HasDisk(state)) prepared_[port].reset();
}

void SimulatedController::setMemberDisk(unsigned port, const MemberDisk& disk) {
  members_.at(port).disk = disk;
  prepared_[port].reset();
}

void SimulatedController::removeMember(unsigned hdd) { setMemberState(portOf(hdd), kMemberAbsent); }

void SimulatedController::insertMember(unsigned hdd, const std::optional<MemberDisk>& disk) {
  if (disk) setMemberDisk(portOf(hdd), *disk);
  setMemberState(portOf(hdd), kMemberInserted);
}

void SimulatedController::failMember(unsigned hdd) { setMemberState(portOf(hdd), kMemberFailed); }

void SimulatedController::setMemberAttribute(unsigned hdd, const SmartAttribute& attribute) {
  const unsigned port = portOf(hdd);
  MemberDisk disk = members_.at(port).disk;
  const auto same = std::find_if(disk.smart.begin(), disk.smart.end(),
                                 [&](const SmartAttribute& entry) { return entry.id == attribute.id; });
  if (same != disk.smart.end()) {
    *same = attribute;
  } else if (disk.smart.size() < kMaxSmartAttributes) {
    disk.smart.push_back(attribute);
  }
  setMemberDisk(port, disk);
}

void SimulatedController::AdvanceRebuild() {
  if (!rebuild_.running) return;
  const std::uint64_t now = clock_.nowMs();
  const std::uint64_t elapsedMs = now > rebuildAnchorMs_ ? now - rebuildAnchorMs_ : 0;
  const std::uint64_t left = rebuild_.size > rebuildAnchorPosition_ ? rebuild_.size - rebuildAnchorPosition_ : 0;
  // Compare before multiplying, so a long run at a high speed cannot overflow.
  const bool done = rebuild_.speed != 0 && elapsedMs / 1000 >= left / rebuild_.speed + 1;
  const std::uint64_t gained = done ? left : rebuild_.speed * elapsedMs / 1000;
  if (gained >= left) {
    rebuild_.position = rebuild_.size;
    rebuild_.running = false;
    if (members_[rebuild_.port].state == kMemberRebuilding) members_[rebuild_.port].state = kMemberPresent;
  } else {
    rebuild_.position = rebuildAnchorPosition_ + gained;
  }
}

RebuildState SimulatedController::rebuild() {
  AdvanceRebuild();
  return rebuild_;
}

void SimulatedController::startRebuild(unsigned port, std::uint64_t speed, std::uint64_t position, std::uint64_t size) {
  rebuild_.running = true;
  rebuild_.port = port & 1u;
  rebuild_.speed = speed ? speed : spec_.rebuildSpeed;
  rebuild_.size = size ? size : capacity();
  rebuild_.position = std::min(position, rebuild_.size);
  rebuildAnchorMs_ = clock_.nowMs();
  rebuildAnchorPosition_ = rebuild_.position;
  members_[rebuild_.port].state = kMemberRebuilding;
}

void SimulatedController::stopRebuild() {
  AdvanceRebuild();
  rebuild_.running = false;
}

// ---- the disk face ----

void SimulatedController::Inquiry(std::uint8_t* buffer, std::uint32_t length) const {
  FillInquiry(inquiry_, buffer, length);
}

void SimulatedController::PowerCycle() {
  recognizer_.Reset();
  answer_.reset();
  hiddenPolls_ = 0;
  prepared_ = {};
}

bool SimulatedController::TransportFails(std::uint32_t lba) {
  for (Fault& fault : faults_) {
    if (fault.kind != FaultKind::TransportFailure || !FaultActive(fault)) continue;
    if (fault.lba && *fault.lba != lba) continue;
    ++fault.struck;
    return true;
  }
  return false;
}

bool SimulatedController::Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* buffer) {
  if (TransportFails(lba)) return false;
  if (count != 1) {  // no part of a frame: the controller takes single-sector reads only
    recognizer_.Interrupt();
    for (std::uint32_t i = 0; i < count; ++i) FillDiskData(lba + i, buffer + i * kSectorSize);
    return true;
  }
  const auto received = recognizer_.OnRead(lba);
  // A new command makes the last answer void, so a frame that goes astray leaves no answer behind
  // that could pass for its reply.
  if (recognizer_.startedFrame()) {
    answer_.reset();
    hiddenPolls_ = 0;
  }
  if (lba == kResponseLba) {
    ServeResponse(buffer);
    return true;
  }
  FillDiskData(lba, buffer);
  if (received) {
    if (received->crcGood)
      Execute(received->frame);
    else
      ++badCrcFrames_;  // dropped: no answer
  }
  return true;
}

void SimulatedController::ServeResponse(std::uint8_t* sector) {
  if (answer_ && hiddenPolls_ == 0) {
    std::memcpy(sector, answer_->data(), kSectorSize);
    return;
  }
  if (hiddenPolls_ > 0) --hiddenPolls_;
  FillDiskData(kResponseLba, sector);
}

// ---- commands ----

bool SimulatedController::FaultActive(const Fault& fault) const {
  if (fault.times != 0 && fault.struck >= fault.times) return false;
  const std::uint64_t now = programTimeMs();
  return now >= fault.fromMs && (!fault.untilMs || now < *fault.untilMs);
}

bool SimulatedController::FaultMatches(const Fault& fault, const CommandFrame& frame) const {
  const std::uint8_t opcode = frame.bytes[kFrameOpcodeOffset];
  const std::uint8_t* params = frame.bytes.data() + kFrameParamsOffset;
  if (!CommandOfKind(fault.command, opcode)) return false;
  if (fault.code) {
    const bool query = IsQuery(opcode) && opcode == *fault.code;
    const bool ata = IsAta(opcode) && params[0] == *fault.code;
    if (!query && !ata) return false;
  }
  if (fault.address && !(IsSpi(opcode) && SpiAddress({params[0], params[1], params[2]}) / kSpiBlockSize ==
                                              *fault.address / kSpiBlockSize))
    return false;
  if (fault.port && !(IsAta(opcode) && params[1] == *fault.port)) return false;
  if (fault.chunk && !(opcode == CMD_ATA_FETCH && params[2] == *fault.chunk)) return false;
  return true;
}

void SimulatedController::Execute(const CommandFrame& frame) {
  AdvanceRebuild();
  std::vector<const Fault*> striking;
  for (Fault& fault : faults_) {
    if (fault.kind == FaultKind::TransportFailure || !FaultActive(fault) || !FaultMatches(fault, frame)) continue;
    ++fault.struck;
    striking.push_back(&fault);
  }
  const auto strikes = [&striking](FaultKind kind) {
    return std::find_if(striking.begin(), striking.end(), [kind](const Fault* f) { return f->kind == kind; }) !=
           striking.end();
  };

  Sector answer{};
  std::uint8_t status = kStatusDone;
  const bool failing = strikes(FaultKind::Status);
  // A command that fails changes nothing; one whose flash block will not program runs without effect.
  if (!failing) status = Run(frame, answer, /*keepFlash=*/strikes(FaultKind::SpiWontProgram));
  hiddenPolls_ = 0;
  WriteSignatures(answer, spec_.kind);
  for (const Fault* fault : striking) {
    switch (fault->kind) {
      case FaultKind::Status: status = fault->status; break;
      case FaultKind::SpiWontProgram:
        if (!fault->acknowledge) status = fault->status;
        break;
      case FaultKind::LateAnswer: hiddenPolls_ = std::max(hiddenPolls_, fault->polls); break;
      case FaultKind::WrongSignature: answer[kResponseFirstSignatureOffset + 13] ^= 0x01; break;
      case FaultKind::MixedSignature: {
        Sector other{};
        WriteSignatures(other,
                        spec_.kind == ControllerKind::Raid ? ControllerKind::PortMultiplier : ControllerKind::Raid);
        std::copy_n(other.begin() + kResponseSecondSignatureOffset, kSignatureSize,
                    answer.begin() + kResponseSecondSignatureOffset);
        break;
      }
      case FaultKind::TransportFailure: break;
    }
  }
  answer[kResponseStatusOffset] = status;
  answer_ = answer;

  ExecutedCommand record;
  record.opcode = frame.bytes[kFrameOpcodeOffset];
  std::copy_n(frame.bytes.begin() + kFrameParamsOffset, 3, record.params.begin());
  record.status = status;
  executed_.push_back(record);
  if (executed_.size() > kExecutedKept) executed_.pop_front();
  if (executedListener_) executedListener_(record);
}

std::uint8_t SimulatedController::Run(const CommandFrame& frame, Sector& answer, bool keepFlash) {
  const std::uint8_t opcode = frame.bytes[kFrameOpcodeOffset];
  const std::array<std::uint8_t, 3> params{frame.bytes[kFrameParamsOffset], frame.bytes[kFrameParamsOffset + 1],
                                           frame.bytes[kFrameParamsOffset + 2]};
  const auto groupIs = [&frame](const FrameGroup& group) {
    return std::equal(group.begin(), group.end(), frame.bytes.begin() + kFrameGroupOffset);
  };
  const std::uint8_t* payload = frame.bytes.data() + kFramePayloadOffset;

  if (IsQuery(opcode)) {
    if (!groupIs(kGroupRead) || !std::equal(params.begin(), params.end(), std::begin(kQueryParams)))
      return kStatusRejected;
    if (opcode == QUERY_IDENTITY) FillIdentity(answer);
    if (opcode == QUERY_MEMBERS) FillMembers(answer);
    if (opcode == QUERY_REBUILD) FillRebuild(answer);
    return kStatusDone;
  }
  switch (opcode) {
    case CMD_SPI_READ:
      if (!groupIs(kGroupRead) || params[0] != kSpiParam) return kStatusRejected;
      flash_.Read(SpiAddress(params), answer.data() + kResponseDataWindowOffset, kResponseDataWindowSize);
      return kStatusDone;
    case CMD_SPI_ERASE:
      if (!groupIs(kGroupErase) || params[0] != kSpiParam) return kStatusRejected;
      flash_.EraseSector(SpiAddress(params));
      if (flashChanged_) flashChanged_();
      return kStatusDone;
    case CMD_SPI_WRITE:
      if (!groupIs(kGroupPayload) || params[0] != kSpiParam) return kStatusRejected;
      if (!keepFlash) flash_.Program(SpiAddress(params), payload, kFramePayloadSize);
      if (!keepFlash && flashChanged_) flashChanged_();
      return kStatusDone;
    case CMD_ATA_ISSUE:
      if (!groupIs(kGroupPayload)) return kStatusRejected;
      return RunAtaIssue(params, payload);
    case CMD_ATA_FETCH:
      if (!groupIs(kGroupRead)) return kStatusRejected;
      return RunAtaFetch(params, answer);
    default: return kStatusRejected;
  }
}

std::uint8_t SimulatedController::RunAtaIssue(const std::array<std::uint8_t, 3>& params, const std::uint8_t* fis) {
  const unsigned port = params[1];
  if (port > 1 || !HasDisk(members_[port].state)) return kStatusFailed;
  if (fis[0] != kFisHostToDevice || !(fis[1] & kFisCommandBit)) return kStatusFailed;
  const MemberDisk& disk = members_[port].disk;
  PreparedPage prepared;
  prepared.ataCode = params[0];
  const std::uint8_t command = fis[kFisCommandOffset];
  if (command == ATA_IDENTIFY_DEVICE) {
    prepared.page = BuildIdentifyPage(disk);
  } else if (command == ATA_SMART && fis[kFisLbaMid] == kSmartLbaMid && fis[kFisLbaHigh] == kSmartLbaHigh &&
             fis[kFisFeaturesOffset] == SMART_READ_DATA) {
    prepared.page = BuildSmartDataPage(disk);
  } else if (command == ATA_SMART && fis[kFisLbaMid] == kSmartLbaMid && fis[kFisLbaHigh] == kSmartLbaHigh &&
             fis[kFisFeaturesOffset] == SMART_READ_THRESHOLDS) {
    prepared.page = BuildSmartThresholdPage(disk);
  } else {
    return kStatusFailed;  // the disk aborts commands it does not support
  }
  prepared_[port] = prepared;
  return kStatusDone;
}

std::uint8_t SimulatedController::RunAtaFetch(const std::array<std::uint8_t, 3>& params, Sector& answer) {
  const unsigned port = params[1];
  const unsigned chunk = params[2];
  if (port > 1 || chunk < 1 || chunk > kAtaChunkCount || !HasDisk(members_[port].state)) return kStatusFailed;
  if (!prepared_[port] || prepared_[port]->ataCode != params[0]) return kStatusFailed;
  std::copy_n(prepared_[port]->page.begin() + (chunk - 1) * kResponseDataWindowSize, kResponseDataWindowSize,
              answer.begin() + kResponseDataWindowOffset);
  return kStatusDone;
}

void SimulatedController::FillIdentity(Sector& answer) const {
  using namespace identity_answer;
  flash_.Read(image_offset::kVersion, answer.data() + kFirmwareVersion, 4);
  // The member order shares its byte with the lowest version byte; the controller's setting wins.
  answer[kMemberOrderByte] = static_cast<std::uint8_t>((answer[kMemberOrderByte] & ~kMemberOrderBit) |
                                                       (spec_.swapPorts ? 0 : kMemberOrderBit));
  answer[kProductCode] = spec_.productCode[0];
  answer[kProductCode + 1] = spec_.productCode[1];
  if (spec_.sensors) {
    answer[kTemperature] = temperature_;
    answer[kFanHigh] = static_cast<std::uint8_t>(fan_ >> 8);
    answer[kFanLow] = static_cast<std::uint8_t>(fan_);
  } else {
    answer[kSensorAbsent] = 0xFF;
    answer[kSensorAbsent + 1] = 0xFF;
  }
  if (!spec_.productName.empty()) PutAtaString(answer.data() + kProductName, kProductNameLength, spec_.productName);
  PutLittleEndian(answer.data() + kCapacity, 6, capacity());
}

void SimulatedController::FillMembers(Sector& answer) const {
  using namespace members_answer;
  answer[kMode] = mode_;
  for (unsigned port = 0; port < 2; ++port) {
    std::uint8_t* block = answer.data() + (port == 0 ? kBlockA : kBlockB);
    const MemberSpec& member = members_[port];
    block[kState] = member.state;
    if (!HasDisk(member.state)) continue;  // an empty bay reports no disk
    PutAtaString(block + kModel, kModelLength, member.disk.model);
    PutAtaString(block + kSerial, kSerialLength, member.disk.serial);
    PutBigEndian(block + kCapacity, 6, member.disk.capacity);
  }
}

void SimulatedController::FillRebuild(Sector& answer) {
  using namespace rebuild_answer;
  const RebuildState state = rebuild();
  if (state.running) answer[kRunning] = kRunningValue;
  PutBigEndian(answer.data() + kArraySize, 6, state.running ? state.size : capacity());
  PutBigEndian(answer.data() + kPosition, 5, state.running ? state.position : 0);
}

}  // namespace rur::sim
