#pragma once
// The simulated ICE board, below the SG_IO ioctl: one SCSI generic node that
// answers INQUIRY with the signature "ICEBRD-D" and the 0xD2/0xD3 debug
// commands from the memory image of a stopped target chip.
//
// The target program keeps its key table where the dashboard was told to look:
// the first memory read anchors it at that address in that memory space. The
// byte at the address holds the key code (0x30 + key while pressed, else 0);
// the sixteen counts follow from address + 1, two bytes per key, high byte
// first, which is where the memory read's caller takes them from. Each memory
// read moves the board's clock on by one 50 ms poll, so a seed gives the same
// counts however fast the caller polls.
//
// As on the real board, the ICE's own use clobbers internal-RAM locations 0x11
// to 0x14 while it reads: the answer carries 0xEE there and their true
// contents in answer bytes 2 to 5.
//
// With a replay the key table holds the recording's rows instead of the
// signal. The connection reads the table three times while it opens
// (reference counts, key values, first cycle): the first of those answers
// carries the recording's reference counts, and the replay moves on one step
// per read only after them. The recording is loaded at the first open of the
// board, not when the board is made: a program makes its ICE board whatever
// link it uses. A refused recording makes the board unreachable. Past the end
// of the replay the table keeps the last row: the memory is read whole on
// every poll, so a board without news still shows its last counts.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ice/IceCommands.h"
#include "ice/ScsiTransport.h"
#include "sim/ReplaySignal.h"
#include "sim/SignalModel.h"
#include "sim/SimConfig.h"

namespace keyscope::sim {

class SimIceDevice final : public ScsiDeviceAccess {
  public:
    static constexpr const char* kNodePath = "/dev/sg-simulated-ice";
    static constexpr std::int64_t kPollMs = 50;
    static constexpr std::uint8_t kClobbered = 0xEE;
    static constexpr std::uint16_t kProgramCounter = 0x0A52;
    static constexpr std::uint8_t kCheckCondition = 0x02;

    // failAfterReads < 0: never fails. Otherwise, once that many memory reads
    // have been answered, the board is gone: every call on it fails and a scan
    // no longer finds it. The first failOpens discoveries find no board, as
    // with a board that is still coming up on the bus. loadReplay, when given,
    // is called once, at the first open, for the recording to play. The finger
    // stays off the keys for the first quietFirstMs of the board's clock.
    using ReplayLoader = std::function<ReplayRequest()>;
    explicit SimIceDevice(std::uint64_t seed, int failAfterReads = -1,
                          ReplayLoader loadReplay = nullptr, int failOpens = 0,
                          std::int64_t quietFirstMs = 0);
    static constexpr int kMaxCount = 2047;  // above it an ICE read sees the count as invalid

    std::vector<std::string> candidatePaths() override;
    int openDevice(const std::string& path) override;
    void closeDevice(int fd) override;
    bool sgIo(int fd, sg_io_hdr& hdr) override;

    // Where the key table sits once a read has anchored it.
    struct Anchor {
        std::uint8_t space = 0;
        std::uint16_t address = 0;
    };
    const std::optional<Anchor>& anchor() const { return anchor_; }
    std::int64_t clockMs() const { return clockMs_; }
    bool inIceMode() const { return iceMode_; }
    int openHandles() const { return static_cast<int>(open_.size()); }
    // The address and context block of the last hardware return.
    std::uint16_t lastReturnAddress() const { return lastReturnAddress_; }
    const IceBlock& lastContext() const { return lastContext_; }
    const SignalModel& model() const { return model_; }

  private:
    bool gone() const { return failAfter_ >= 0 && reads_ >= failAfter_; }
    // The status of the command; an answer for data-in commands goes to answer.
    std::uint8_t execute(const std::uint8_t* cdb, int direction, std::uint32_t length,
                         std::uint8_t* data);
    std::uint8_t executeIce(const std::uint8_t* cdb, int direction, std::uint32_t length,
                            std::uint8_t* data);
    void registers(IceBlock& answer) const;
    void refreshKeyTable();
    std::uint8_t& memory(std::uint8_t space, std::uint32_t address);

    SignalModel model_;
    int failAfter_;
    int scansToMiss_;
    int reads_ = 0;
    std::int64_t clockMs_ = 0;
    std::set<int> open_;
    int nextFd_ = 1000;
    bool iceMode_ = false;
    std::optional<Anchor> anchor_;
    std::array<std::uint8_t, 256> iram_{};
    std::vector<std::uint8_t> xram_ = std::vector<std::uint8_t>(65536);
    std::uint16_t lastReturnAddress_ = 0;
    IceBlock lastContext_{};
    ReplayLoader loadReplay_;
    ReplayRequest replay_;
    std::string reportedRefusal_;
    int readsInIceMode_ = 0;
};

}  // namespace keyscope::sim

namespace keyscope {

// The simulated ICE board behind the SCSI access, with the seed, faults and
// replay `config` asks for. Chosen by the caller when KEYSCOPE_SIMULATE=1.
std::unique_ptr<ScsiDeviceAccess> makeSimulatedIceAccess(const sim::SimConfig& config);

}  // namespace keyscope
