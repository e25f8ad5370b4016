#include "sim/engine/emulated/emulated_machine.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "pi/pei_services.h"
#include "sim/engine/emulated/emulated_calls.h"
#include "sim/engine/emulated/emulated_layout.h"
#include "sim/engine/emulated/emulated_trap_page.h"
#include "sim/engine/emulated/image_coverage.h"
#include "sim/hw/hardware_model.h"
#include "sim/image/byte_reader.h"

namespace boardsim {
namespace {

using namespace emulated;
using boardimage::Hex;

// What guest code finds in registers it must not rely on: after a service
// returns (the volatile registers, and the bits of the accumulator a narrow
// result leaves undefined) and when it is called.
constexpr std::uint64_t kGarbage = 0x5A5A5A5A5A5A5A5Aull;

// A nested call builds its frame this far below the caller's stack pointer.
constexpr std::uint64_t kNestedFrameGap = 0x100;

constexpr std::uint8_t kInt3 = 0xCC;
constexpr std::uint8_t kErasedFlash = 0xFF;

std::uint64_t AlignDown(std::uint64_t value, std::uint64_t alignment) { return value / alignment * alignment; }

constexpr std::uint32_t kBreakpoint = 3;  // the int3 exception

// The service entries' page, and with it the sentinel's.
bool OnTrapPage(GuestAddr address) { return address >= kTrapPage && address < kTrapPage + kPageSize; }
bool InTrapPages(GuestAddr address) { return address >= kTrapPage && address < kTrapPage + 2 * kPageSize; }

}  // namespace

EmulatedMachine::EmulatedMachine(Phase phase, ServiceHub &hub, HardwareModel &hardware,
                                 std::shared_ptr<const ImageFile> image)
    : phase_(phase),
      pointerSize_(phase == Phase::Dxe ? 8 : 4),
      hub_(&hub),
      hardware_(&hardware),
      image_(std::move(image)),
      scratchNext_(kScratchCodeBase) {
  const uc_err error = uc_open(UC_ARCH_X86, phase == Phase::Dxe ? UC_MODE_64 : UC_MODE_32, &uc_);
  if (error != UC_ERR_OK) throw std::runtime_error(std::string("cannot start the CPU emulator: ") + uc_strerror(error));
  try {
    memory_ = std::make_unique<EmulatedMemory>(uc_, pointerSize_, [this](GuestAddr a) { return Describe(a); });
    MapFixedRegions();
    MapRegisterWindows();
    AddHooks();
    ownWindows_ = OwnWindows(hardware);
    if (uc_context_alloc(uc_, &freshContext_) != UC_ERR_OK || uc_context_save(uc_, freshContext_) != UC_ERR_OK)
      throw std::runtime_error("cannot save the emulated CPU's initial state");
  } catch (...) {
    if (freshContext_ != nullptr) uc_context_free(freshContext_);
    uc_close(uc_);
    throw;
  }
}

EmulatedMachine::~EmulatedMachine() {
  for (uc_context *context : savedContexts_) uc_context_free(context);
  uc_context_free(freshContext_);
  uc_close(uc_);
}

std::vector<std::pair<GuestAddr, std::uint64_t>> EmulatedMachine::OwnWindows(const HardwareModel &hardware) {
  std::vector<std::pair<GuestAddr, std::uint64_t>> windows;
  for (const auto &window : hardware.Windows())
    if (window.base < kMmioHoleBase || window.base + window.size > kMmioHoleEnd)
      windows.emplace_back(window.base, window.size);
  return windows;
}

bool EmulatedMachine::ReuseFor(ServiceHub &hub, HardwareModel &hardware) {
  if (depth_ != 0 || OwnWindows(hardware) != ownWindows_) return false;
  hub_ = &hub;
  hardware_ = &hardware;
  memory_->ClearForNextBoot();
  for (GuestAddr page : registerPages_) std::memset(memory_->HostBytes(page, kPageSize), 0, kPageSize);
  registerPages_.clear();
  if (scratchNext_ != kScratchCodeBase) {
    ForgetTranslations(kScratchCodeBase, scratchNext_);
    scratchNext_ = kScratchCodeBase;
  }
  if (firstLoad_) {
    // The image's writable data as loaded; its code cannot have changed
    // (read-only to guest code and models alike), and RewriteCode keeps the
    // translations honest if it ever did.
    const GuestAddr start = firstLoad_->parts.front().start;
    const MappedRegion *region = memory_->RegionAt(start);
    std::uint8_t *host = region->host + (start - region->base);
    for (const auto &[code, size] : firstLoad_->executable) {
      const std::uint64_t offset = code - start;
      if (offset < loadedBytes_.size())
        RewriteCode(code, loadedBytes_.data() + offset, std::min<std::uint64_t>(size, loadedBytes_.size() - offset));
    }
    std::memcpy(host, loadedBytes_.data(), loadedBytes_.size());
  }
  if (uc_context_restore(uc_, freshContext_) != UC_ERR_OK)
    throw std::runtime_error("cannot restore the emulated CPU's initial state");
  loaded_ = nullptr;
  blockBudget_ = kDefaultBlockBudget;
  serviceCallBudget_ = kDefaultServiceCallBudget;
  timeBudget_ = kDefaultTimeBudget;
  blocks_ = 0;
  budgetExhausted_ = false;
  serviceCalls_ = 0;
  outOfTime_ = false;
  instructions_ = 0;
  blocksRun_.clear();
  lastCallInstructions_ = 0;
  lastBlock_ = 0;
  callTarget_ = 0;
  fault_.reset();
  faultPc_ = 0;
  interrupt_.reset();
  hookError_ = nullptr;
  faultShown_ = false;
  return true;
}

void EmulatedMachine::RewriteCode(GuestAddr address, const std::uint8_t *bytes, std::uint64_t size) {
  std::uint8_t *host = memory_->HostBytes(address, size);
  if (host == nullptr) throw std::logic_error("code at " + HexAddress(address) + " is not in one mapped region");
  if (std::memcmp(host, bytes, size) == 0) return;
  std::memcpy(host, bytes, size);
  ForgetTranslations(address, address + size);
}

void EmulatedMachine::ForgetTranslations(GuestAddr begin, GuestAddr end) {
  if (uc_ctl_remove_cache(uc_, begin, end) != UC_ERR_OK)
    throw std::runtime_error("cannot drop the translated code at " + HexAddress(begin));
  std::erase_if(blockInstructions_,
                [&](const auto &block) { return block.first < end && block.first + block.second.first > begin; });
}

void EmulatedMachine::MapFixedRegions() {
  std::uint8_t *traps = memory_->NewHostPages(2 * kPageSize);
  std::memset(traps, kInt3, 2 * kPageSize);
  memory_->Map(kTrapPage, 2 * kPageSize, UC_PROT_READ | UC_PROT_EXEC, RegionKind::Traps, traps);

  memory_->Map(kScratchCodeBase, kScratchCodeSize, UC_PROT_READ | UC_PROT_EXEC, RegionKind::Code,
               memory_->NewHostPages(kScratchCodeSize));
  memory_->Map(kStackBase, kStackSize, UC_PROT_READ | UC_PROT_WRITE, RegionKind::Stack,
               memory_->NewHostPages(kStackSize));
  if (phase_ == Phase::Pei) {
    std::uint8_t *flash = memory_->NewHostPages(kBootFlashSize);
    std::memset(flash, kErasedFlash, kBootFlashSize);
    memory_->Map(kBootFlashBase, kBootFlashSize, UC_PROT_READ | UC_PROT_EXEC, RegionKind::Flash, flash);
  }
}

void EmulatedMachine::MapRegisterWindows() {
  // The whole hole answers through the hardware model; a controller window
  // the board places elsewhere is mapped on its own.
  memory_->Map(kMmioHoleBase, kMmioHoleEnd - kMmioHoleBase, UC_PROT_READ | UC_PROT_WRITE, RegionKind::Registers,
               memory_->NewHostPages(kMmioHoleEnd - kMmioHoleBase));
  for (const auto &window : hardware_->Windows()) {
    if (window.base >= kMmioHoleBase && window.base + window.size <= kMmioHoleEnd) continue;
    // The driver's load window is mapped only when the driver loads.
    const bool overDriver =
        window.base < kDxeLoadAddress + kDxeImageRoom && kDxeLoadAddress < window.base + window.size;
    if (overDriver || memory_->Overlaps(window.base, window.size))
      throw std::invalid_argument(
          "the board's " + window.name + " window at " + HexAddress(window.base) + " overlaps " +
          (overDriver ? "the window BoardDxe is loaded into (" + HexAddress(kDxeLoadAddress) + " to " +
                            HexAddress(kDxeLoadAddress + kDxeImageRoom - 1) + ")"
                      : std::string("the emulated machine's memory")) +
          "; place it between " + HexAddress(kMmioHoleBase) + " and " + HexAddress(kMmioHoleEnd));
    memory_->Map(window.base, window.size, UC_PROT_READ | UC_PROT_WRITE, RegionKind::Registers,
                 memory_->NewHostPages(window.size));
  }
}

void EmulatedMachine::AddHooks() {
  const auto add = [this](int type, void *callback, std::uint64_t begin, std::uint64_t end, const char *what) {
    uc_hook hook = 0;
    const uc_err error = uc_hook_add(uc_, &hook, type, callback, this, begin, end);
    if (error != UC_ERR_OK)
      throw std::runtime_error(std::string("cannot add the ") + what + " hook: " + uc_strerror(error));
    hooks_.push_back(hook);
  };
  // begin > end: every address.
  add(UC_HOOK_BLOCK, reinterpret_cast<void *>(&OnBlock), 1, 0, "block");
  add(UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, reinterpret_cast<void *>(&OnRegisterAccess), kMmioHoleBase,
      kMmioHoleEnd - 1, "register window");
  for (const auto &window : hardware_->Windows())
    if (window.base < kMmioHoleBase || window.base + window.size > kMmioHoleEnd)
      add(UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, reinterpret_cast<void *>(&OnRegisterAccess), window.base,
          window.base + window.size - 1, "register window");
  add(UC_HOOK_MEM_INVALID, reinterpret_cast<void *>(&OnInvalidAccess), 1, 0, "invalid access");
  add(UC_HOOK_INTR, reinterpret_cast<void *>(&OnInterrupt), 1, 0, "interrupt");

  // Trap entries and the sentinel stop the emulator by running their int3,
  // not as the emulator's exits: it drops the translations around every exit
  // at each start, and would translate them all again for every call.
}

GuestAddr EmulatedMachine::ServiceEntry(Service service) { return kTrapPage + static_cast<unsigned>(service); }

GuestAddr EmulatedMachine::UnexpectedEntry(ServiceTable table, unsigned slot) {
  for (const auto &trap : kTrapTables)
    if (trap.table == table) {
      if (slot >= trap.slots)
        throw std::out_of_range("no slot " + std::to_string(slot) + " in table " + TableName(table));
      return kTrapPage + trap.offset + slot;
    }
  throw std::out_of_range("no such service table");
}

GuestAddr EmulatedMachine::LoadModule() {
  if (loaded_) throw std::logic_error("module already loaded in this machine");
  if (!image_) throw std::runtime_error("the emulated engine has no image for this phase");
  if (firstLoad_) {
    // A reused machine: ReuseFor already put the bytes back as loaded.
    loaded_ = &*firstLoad_;
    return loaded_->entry;
  }
  if (phase_ == Phase::Dxe)
    firstLoad_ = LoadDxeImage(*image_, *memory_, kDxeLoadAddress);
  else
    firstLoad_ =
        LoadPeiImage(*image_, *memory_, kBootFlashBase, kBootFlashSize, firmware_layout::kBoardPeiFlashAddress);
  loaded_ = &*firstLoad_;
  const GuestAddr start = loaded_->parts.front().start;
  const std::uint64_t size = phase_ == Phase::Dxe ? loaded_->extent : image_->bytes.size();
  const MappedRegion *region = memory_->RegionAt(start);
  const std::uint8_t *host = region->host + (start - region->base);
  loadedBytes_.assign(host, host + size);
  return loaded_->entry;
}

GuestAddr EmulatedMachine::PlaceCode(std::span<const std::uint8_t> code) {
  const GuestAddr address = scratchNext_;
  if (code.size() > kScratchCodeBase + kScratchCodeSize - address)
    throw std::length_error("no room for " + std::to_string(code.size()) + " more bytes of scratch code");
  RewriteCode(address, code.data(), code.size());
  scratchNext_ = AlignDown(address + code.size() + 15, 16);
  return address;
}

void EmulatedMachine::SetIdtBase(GuestAddr base) {
  const std::uint32_t gate = 2 * pointerSize_;
  uc_x86_mmr idtr{0, base, 256 * gate - 1, 0};
  const uc_err error = uc_reg_write(uc_, UC_X86_REG_IDTR, &idtr);
  if (error != UC_ERR_OK) throw std::runtime_error(std::string("cannot set IDTR: ") + uc_strerror(error));
}

int EmulatedMachine::RegisterIdOf(Register which) const {
  // By Register: the x64 register, and its IA-32 counterpart where there is one.
  static constexpr std::array<std::array<int, 2>, 9> kIds = {{
      {UC_X86_REG_RIP, UC_X86_REG_EIP},
      {UC_X86_REG_RSP, UC_X86_REG_ESP},
      {UC_X86_REG_RAX, UC_X86_REG_EAX},
      {UC_X86_REG_RCX, UC_X86_REG_ECX},
      {UC_X86_REG_RDX, UC_X86_REG_EDX},
      {UC_X86_REG_R8, UC_X86_REG_INVALID},
      {UC_X86_REG_R9, UC_X86_REG_INVALID},
      {UC_X86_REG_R10, UC_X86_REG_INVALID},
      {UC_X86_REG_R11, UC_X86_REG_INVALID},
  }};
  return kIds[static_cast<std::size_t>(which)][phase_ == Phase::Dxe ? 0 : 1];
}

std::uint64_t EmulatedMachine::Reg(Register which) const {
  std::uint64_t value = 0;
  const int id = RegisterIdOf(which);
  if (id != UC_X86_REG_INVALID) uc_reg_read(uc_, id, &value);
  return pointerSize_ == 8 ? value : value & 0xFFFFFFFFu;
}

void EmulatedMachine::SetReg(Register which, std::uint64_t value) {
  const int id = RegisterIdOf(which);
  if (id == UC_X86_REG_INVALID) return;
  if (pointerSize_ == 4) value &= 0xFFFFFFFFu;
  uc_reg_write(uc_, id, &value);
}

std::uint64_t EmulatedMachine::ReadWord(GuestAddr address) {
  return pointerSize_ == 8 ? memory_->Read64(address) : memory_->Read32(address);
}

void EmulatedMachine::WriteWord(GuestAddr address, std::uint64_t value) {
  std::uint8_t *host = memory_->HostBytes(address, pointerSize_);
  if (host == nullptr) throw EmulationFault("the guest stack at " + HexAddress(address) + " is not mapped");
  std::memcpy(host, &value, pointerSize_);
}

std::uint64_t EmulatedMachine::Call(GuestAddr function, Signature signature, std::span<const std::uint64_t> arguments) {
  if (function == 0) throw GuestFault("call through a NULL function pointer");
  const CallShape &shape = ShapeOf(signature);
  if (arguments.size() < shape.arguments.size())
    throw std::logic_error("a guest call needs " + std::to_string(shape.arguments.size()) + " arguments, got " +
                           std::to_string(arguments.size()));

  // A call made while guest code waits in a service (a notification, a
  // member called back) runs below the waiting code's stack and leaves every
  // register as it found it.
  const bool nested = depth_ > 0;
  if (nested) {
    if (savedContexts_.size() < depth_) {
      uc_context *context = nullptr;
      if (uc_context_alloc(uc_, &context) != UC_ERR_OK) throw std::runtime_error("cannot allocate a CPU context");
      savedContexts_.push_back(context);
    }
    uc_context_save(uc_, savedContexts_[depth_ - 1]);
  } else {
    blocks_ = 0;
    budgetExhausted_ = false;
    serviceCalls_ = 0;
    outOfTime_ = false;
    callStart_ = std::chrono::steady_clock::now();
  }
  struct Level {
    EmulatedMachine &machine;
    bool nested;
    ~Level() {
      --machine.depth_;
      if (nested) uc_context_restore(machine.uc_, machine.savedContexts_[machine.depth_ - 1]);
    }
  } level{*this, nested};
  ++depth_;

  const std::uint64_t startInstructions = instructions_;
  const std::size_t count = shape.arguments.size();
  std::uint64_t sp = nested ? Reg(Register::Sp) - kNestedFrameGap : kStackTop;
  if (pointerSize_ == 8) {
    // Microsoft x64: four arguments in RCX, RDX, R8, R9, 32 bytes of shadow
    // space above the return address, the rest above that; the stack is
    // 16-byte aligned at the call, so 8 off at the function's first byte.
    const std::size_t onStack = count > 4 ? count - 4 : 0;
    sp = AlignDown(sp - 32 - 8 * onStack, 16) - 8;
    for (std::size_t i = 4; i < count; ++i) WriteWord(sp + 0x28 + 8 * (i - 4), arguments[i]);
    constexpr std::array<Register, 4> kArgumentRegisters = {Register::Cx, Register::Dx, Register::R8, Register::R9};
    for (std::size_t i = 0; i < 4; ++i)
      SetReg(kArgumentRegisters[i], i < count ? Truncate(arguments[i], shape.arguments[i], 8) : kGarbage);
  } else {
    // cdecl: every argument in a 32-bit stack word, the first lowest.
    sp = AlignDown(sp - 4 * count, 16) - 4;
    for (std::size_t i = 0; i < count; ++i) {
      if (shape.arguments[i] == Width::Natural && arguments[i] > 0xFFFFFFFFu)
        throw GuestFault("argument " + HexAddress(arguments[i]) + " does not fit a 32-bit guest");
      WriteWord(sp + 4 + 4 * i, Truncate(arguments[i], shape.arguments[i], 4));
    }
  }
  WriteWord(sp, kSentinel);
  SetReg(Register::Sp, sp);
  SetReg(Register::Ax, kGarbage);
  if (!nested) callTarget_ = function;

  RunUntilReturn(function);

  std::uint64_t result = 0;
  if (shape.result == Width::Bits64 && pointerSize_ == 4)
    result = (Reg(Register::Dx) << 32) | Reg(Register::Ax);
  else
    result = Truncate(Reg(Register::Ax), shape.result, pointerSize_);
  lastCallInstructions_ = instructions_ - startInstructions;
  return result;
}

void EmulatedMachine::RunUntilReturn(GuestAddr pc) {
  if (debugger_ == nullptr) {
    RunUntilReturnUnwatched(pc);
    return;
  }
  try {
    RunUntilReturnUnwatched(pc);
  } catch (const EmulationFault &fault) {
    ShowFault(fault);
    throw;
  }
}

void EmulatedMachine::RunUntilReturnUnwatched(GuestAddr pc) {
  for (;;) {
    fault_.reset();
    interrupt_.reset();
    // No emulator timeout: it costs a thread per start; the block hook
    // watches the clock instead.
    const uc_err error = uc_emu_start(uc_, pc, 0, 0, 0);
    CountInstructions();
    if (hookError_) std::rethrow_exception(std::exchange(hookError_, nullptr));
    if (fault_ && debugger_ != nullptr) SetReg(Register::Pc, faultPc_);  // where the debugger shows the fault
    pc = Reg(Register::Pc);
    if (budgetExhausted_) ThrowOverBudget("ran " + std::to_string(blockBudget_) + " basic blocks");
    if (debugger_ == nullptr && (outOfTime_ || std::chrono::steady_clock::now() - callStart_ > timeBudget_))
      ThrowOverBudget("ran for more than " + std::to_string(timeBudget_.count()) + " ms");
    if (interrupt_ && interrupt_->number == kBreakpoint && InTrapPages(interrupt_->pc - 1)) {
      // The int3 of a trap entry or of the sentinel ran; the CPU points past it.
      pc = interrupt_->pc - 1;
      interrupt_.reset();
    }
    if (error != UC_ERR_OK || interrupt_) ThrowStop(error, pc);
    if (pc == kSentinel) return;
    if (OnTrapPage(pc)) {
      if (++serviceCalls_ > serviceCallBudget_)
        ThrowOverBudget("made " + std::to_string(serviceCallBudget_) + " service calls (the next to " + Describe(pc) +
                        ")");
      pc = ServeTrap(pc);
      continue;
    }
    throw EmulationFault("guest code stopped at " + HexAddress(pc) + " (" + Describe(pc) + ") for no known reason");
  }
}

GuestAddr EmulatedMachine::ServeTrap(GuestAddr entry) {
  const std::uint64_t sp = Reg(Register::Sp);
  const unsigned offset = static_cast<unsigned>(entry - kTrapPage);
  std::uint64_t result = 0;
  Width resultWidth = Width::Natural;
  if (offset < static_cast<unsigned>(Service::Count)) {
    const auto service = static_cast<Service>(offset);
    const CallShape &shape = ShapeOf(service);
    std::array<std::uint64_t, 8> arguments{};
    constexpr std::array<Register, 4> kArgumentRegisters = {Register::Cx, Register::Dx, Register::R8, Register::R9};
    for (std::size_t i = 0; i < shape.arguments.size(); ++i) {
      std::uint64_t raw = 0;
      if (pointerSize_ == 8)
        raw = i < 4 ? Reg(kArgumentRegisters[i]) : memory_->Read64(sp + 0x28 + 8 * (i - 4));
      else
        raw = memory_->Read32(sp + 4 + 4 * i);
      arguments[i] = Truncate(raw, shape.arguments[i], pointerSize_);
    }
    if (debugger_ != nullptr) {
      debugger_->OnServiceCall(*this, service, std::span(arguments.data(), shape.arguments.size()));
      if (debugger_->Abandoned()) throw emulated::BootAbandoned{};
    }
    result = hub_->Dispatch(service, std::span(arguments.data(), shape.arguments.size()));
    resultWidth = shape.result;
  } else {
    bool found = false;
    for (const auto &table : kTrapTables)
      if (offset >= table.offset && offset < table.offset + table.slots) {
        result = hub_->UnexpectedCall(table.table, offset - table.offset);
        found = true;
      }
    if (!found)
      throw EmulationFault("guest code ran into the service entry page at " + HexAddress(entry) +
                           ", which is no service's entry");
  }

  // Return as the service would: pop the return address, hand back the
  // result, and leave garbage where the caller may not look.
  const GuestAddr returnAddress = ReadWord(sp);
  SetReg(Register::Sp, sp + pointerSize_);
  switch (resultWidth) {
    case Width::None:
      SetReg(Register::Ax, kGarbage);
      break;
    case Width::Bits8:
    case Width::Bits16:
    case Width::Bits32: {
      const unsigned bits = Bits(resultWidth, pointerSize_);
      SetReg(Register::Ax, (kGarbage & ~((std::uint64_t{1} << bits) - 1)) | Truncate(result, resultWidth, 8));
      break;
    }
    case Width::Bits64:
    case Width::Natural:
      SetReg(Register::Ax, result);
      break;
  }
  for (Register scratch : {Register::Cx, Register::Dx, Register::R8, Register::R9, Register::R10, Register::R11})
    SetReg(scratch, kGarbage);
  return returnAddress;
}

void EmulatedMachine::ThrowOverBudget(const std::string &what) {
  throw EmulationFault(std::string(phase_ == Phase::Dxe ? "BoardDxe" : "BoardPei") + ": the call to " +
                       HexAddress(callTarget_) + " (" + Describe(callTarget_) + ") " + what +
                       " without returning; it was running the block at " + HexAddress(lastBlock_) + " (" +
                       Describe(lastBlock_) + ")");
}

void EmulatedMachine::OnBlock(uc_engine *uc, std::uint64_t address, std::uint32_t size, void *user) {
  // A loop without service calls never stops the emulator: look at the clock
  // every so many blocks.
  constexpr std::uint64_t kBlocksBetweenClockReadings = 4096;
  auto *self = static_cast<EmulatedMachine *>(user);
  if (InTrapPages(address)) return;  // a service entry's or the sentinel's int3, not the image's code
  self->lastBlock_ = address;
  self->blocksRun_.emplace_back(address, size);
  if (++self->blocks_ > self->blockBudget_) {
    self->budgetExhausted_ = true;
    uc_emu_stop(uc);
  } else if (self->debugger_ == nullptr && self->blocks_ % kBlocksBetweenClockReadings == 0 &&
             std::chrono::steady_clock::now() - self->callStart_ > self->timeBudget_) {
    self->outOfTime_ = true;
    uc_emu_stop(uc);
  }
}

void EmulatedMachine::CountInstructions() {
  // A hook on every instruction would double the cost of translating the
  // code; the blocks that ran and the instruction count of each translated
  // block give the same number.
  const BlockObserver observer = TheBlockObserver();
  for (const auto &[address, size] : blocksRun_) {
    auto known = blockInstructions_.find(address);
    if (known == blockInstructions_.end() || known->second.first != size) {
      uc_tb block{};
      // The emulator translates a block differently right after an
      // instruction that changes the interrupt or trap state; the block it
      // would translate now is then not the one that ran.
      if (uc_ctl_request_cache(uc_, address, &block) != UC_ERR_OK || block.size != size)
        throw EmulationFault(std::string(phase_ == Phase::Dxe ? "BoardDxe" : "BoardPei") + ": the code at " +
                             WhereCodeRan(address) +
                             " ran right after an instruction that changes the CPU's interrupt or trap state (sti, "
                             "mov ss, popf setting the trap flag), which the emulator cannot count instructions "
                             "through; the board's modules never execute one");
      known = blockInstructions_.insert_or_assign(address, std::pair{size, block.icount}).first;
    }
    instructions_ += known->second.second;
    if ((coverage_ || observer != nullptr) && loaded_)
      for (const auto &[start, length] : loaded_->executable)
        if (address >= start && address - start < length) {
          const auto rva = static_cast<std::uint32_t>(address - loaded_->base);
          if (coverage_) RecordCoverage(loaded_->name, rva, size);
          if (observer != nullptr) observer(loaded_->name, rva, size);
        }
  }
  blocksRun_.clear();
}

void EmulatedMachine::OnRegisterAccess(uc_engine *uc, uc_mem_type type, std::uint64_t address, int size,
                                       std::int64_t value, void *user) {
  auto *self = static_cast<EmulatedMachine *>(user);
  if (self->hookError_) return;
  try {
    if (size != 1 && size != 2 && size != 4 && size != 8)
      throw EmulationFault("a " + std::to_string(size) + "-byte access to " + HexAddress(address) +
                           "; the board's registers take 1, 2, 4 or 8 bytes at a time");
    const unsigned width = static_cast<unsigned>(size) * 8;
    for (GuestAddr page : {AlignDown(address, kPageSize), AlignDown(address + size - 1, kPageSize)})
      if (std::find(self->registerPages_.begin(), self->registerPages_.end(), page) == self->registerPages_.end())
        self->registerPages_.push_back(page);
    if (type == UC_MEM_READ) {
      // The value lands in the page before the instruction reads it.
      const std::uint64_t answer = self->hardware_->Read(address, width);
      std::uint8_t *host = self->memory_->HostBytes(address, static_cast<std::uint64_t>(size));
      if (host == nullptr)
        throw EmulationFault("a register read at " + HexAddress(address) + " crosses a window's end");
      std::memcpy(host, &answer, static_cast<std::size_t>(size));
    } else if (type == UC_MEM_WRITE) {
      self->hardware_->Write(address, width, static_cast<std::uint64_t>(value));
    }
  } catch (...) {
    self->hookError_ = std::current_exception();
    uc_emu_stop(uc);
  }
}

bool EmulatedMachine::OnInvalidAccess(uc_engine *, uc_mem_type type, std::uint64_t address, int size,
                                      std::int64_t value, void *user) {
  auto *self = static_cast<EmulatedMachine *>(user);
  self->fault_ = Fault{type, address, size, value};
  self->faultPc_ = self->Reg(Register::Pc);
  return false;
}

void EmulatedMachine::OnInterrupt(uc_engine *uc, std::uint32_t number, void *user) {
  auto *self = static_cast<EmulatedMachine *>(user);
  self->interrupt_ = Interrupt{number, self->Reg(Register::Pc)};
  uc_emu_stop(uc);
}

}  // namespace boardsim
