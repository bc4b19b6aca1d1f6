#include "sim/SimIceDevice.h"

#include <scsi/sg.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace keyscope::sim {
namespace {

constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kIramSpace = 1;
constexpr std::uint16_t kIramFirstHidden = 0x11;
constexpr std::uint16_t kIramLastHidden = 0x14;

std::array<std::uint8_t, kInquiryLength> inquiryAnswer() {
    std::array<std::uint8_t, kInquiryLength> a{};
    a[0] = 0x00;  // direct-access device: the board shows up as a drive
    a[2] = 0x02;
    a[3] = 0x02;
    a[4] = static_cast<std::uint8_t>(kInquiryLength - 5);
    const auto put = [&a](std::size_t at, std::string_view text) {
        std::copy(text.begin(), text.end(), a.begin() + at);
    };
    put(8, "KEYSCOPE");
    put(16, "SIM ICE BOARD   ");
    put(32, "1.00");
    put(kSignatureOffset, kFallbackSignature);  // "ICEBRD-D"
    return a;
}

bool isIceHeader(const std::uint8_t* cdb) {
    return cdb[1] == 0x11 && cdb[2] == 0x31 && cdb[3] == 0x0F && cdb[4] == 0x30 && cdb[5] == 0x00;
}

}  // namespace

SimIceDevice::SimIceDevice(std::uint64_t seed, int failAfterReads, ReplayLoader loadReplay,
                           int failOpens, std::int64_t quietFirstMs)
    // A discovery that finds nothing scans twice: its own signature, then the fallback.
    : model_(seed, CountWidth::Word, quietFirstMs),
      failAfter_(failAfterReads),
      scansToMiss_(2 * failOpens),
      loadReplay_(std::move(loadReplay)) {
    // A recognisable, repeatable memory content outside the key table.
    for (std::size_t i = 0; i < iram_.size(); ++i) {
        iram_[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    }
    for (std::size_t i = 0; i < xram_.size(); ++i) {
        xram_[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 8));
    }
}

std::vector<std::string> SimIceDevice::candidatePaths() {
    if (scansToMiss_ > 0) {
        --scansToMiss_;
        return {};
    }
    return {kNodePath};
}

int SimIceDevice::openDevice(const std::string& path) {
    if (loadReplay_) {
        replay_ = std::exchange(loadReplay_, nullptr)();
    }
    if (replay_.requested && !replay_.signal) {
        reportReplayRefusal(replay_.error, reportedRefusal_);
        return -1;
    }
    if (gone() || path != kNodePath) {
        return -1;
    }
    const int fd = nextFd_++;
    open_.insert(fd);
    return fd;
}

void SimIceDevice::closeDevice(int fd) {
    open_.erase(fd);
}

bool SimIceDevice::sgIo(int fd, sg_io_hdr& hdr) {
    if (gone() || open_.count(fd) == 0 || hdr.interface_id != 'S' || hdr.cmdp == nullptr ||
        hdr.cmd_len < 6 || (hdr.dxfer_len != 0 && hdr.dxferp == nullptr)) {
        return false;
    }
    std::array<std::uint8_t, 16> cdb{};
    std::copy_n(hdr.cmdp, std::min<std::size_t>(hdr.cmd_len, cdb.size()), cdb.begin());
    hdr.status = execute(cdb.data(), hdr.dxfer_direction, hdr.dxfer_len,
                         static_cast<std::uint8_t*>(hdr.dxferp));
    hdr.masked_status = static_cast<unsigned char>(hdr.status >> 1);
    hdr.host_status = 0;
    hdr.driver_status = 0;
    hdr.resid = 0;
    hdr.sb_len_wr = 0;
    return true;
}

std::uint8_t SimIceDevice::execute(const std::uint8_t* cdb, int direction, std::uint32_t length,
                                   std::uint8_t* data) {
    if (cdb[0] == kInquiry) {
        if (direction != SG_DXFER_FROM_DEV) {
            return kCheckCondition;
        }
        const auto answer = inquiryAnswer();
        std::memcpy(data, answer.data(), std::min<std::size_t>(length, answer.size()));
        return 0;
    }
    if ((cdb[0] == kIceOpNoDataOrOut || cdb[0] == kIceOpDataIn) && isIceHeader(cdb)) {
        return executeIce(cdb, direction, length, data);
    }
    return kCheckCondition;
}

std::uint8_t SimIceDevice::executeIce(const std::uint8_t* cdb, int direction, std::uint32_t length,
                                      std::uint8_t* data) {
    const auto sub = static_cast<IceSubCommand>(cdb[6]);
    const bool noData = direction == SG_DXFER_NONE;
    const bool blockOut = direction == SG_DXFER_TO_DEV && length == kBlockSize;
    const bool blockIn = direction == SG_DXFER_FROM_DEV && length == kBlockSize;
    const std::uint16_t address = static_cast<std::uint16_t>((cdb[7] << 8) | cdb[8]);

    if (cdb[0] == kIceOpNoDataOrOut) {
        switch (sub) {
            case IceSubCommand::SelectTarget:
                return noData ? 0 : kCheckCondition;
            case IceSubCommand::EnterIceMode:
                if (!noData) {
                    return kCheckCondition;
                }
                iceMode_ = true;
                readsInIceMode_ = 0;
                return 0;
            case IceSubCommand::ResetChip:
            case IceSubCommand::SetHwBreak:
                return noData && iceMode_ ? 0 : kCheckCondition;
            case IceSubCommand::SetHwReturn:
                if (!blockOut || !iceMode_) {
                    return kCheckCondition;
                }
                lastReturnAddress_ = address;
                std::copy_n(data, kBlockSize, lastContext_.begin());
                return 0;
            default:
                return kCheckCondition;
        }
    }

    if (!blockIn) {
        return kCheckCondition;
    }
    IceBlock answer{};
    switch (sub) {
        case IceSubCommand::ReadIceStatus:
            answer[0] = iceMode_ ? 0x00 : 0x01;
            break;
        case IceSubCommand::ReadPc:
            if (!iceMode_) {
                return kCheckCondition;
            }
            registers(answer);
            break;
        case IceSubCommand::ReadReserveData: {
            if (!iceMode_) {
                return kCheckCondition;
            }
            const std::uint8_t space = cdb[10];
            if (!anchor_) {
                anchor_ = Anchor{space, address};
            }
            refreshKeyTable();
            registers(answer);
            // More than the 32 bytes asked for: the caller takes 33.
            for (std::size_t i = kMemoryOffset; i < answer.size(); ++i) {
                const std::uint32_t location =
                    address + static_cast<std::uint32_t>(i - kMemoryOffset);
                const std::uint32_t inSpace = space == kIramSpace ? (location & 0xFF) : location;
                const bool hidden = space == kIramSpace && inSpace >= kIramFirstHidden &&
                                    inSpace <= kIramLastHidden;
                answer[i] = hidden ? kClobbered : memory(space, location);
            }
            ++reads_;
            clockMs_ += kPollMs;
            break;
        }
        default:
            return kCheckCondition;
    }
    std::copy(answer.begin(), answer.end(), data);
    return 0;
}

void SimIceDevice::registers(IceBlock& answer) const {
    // The stopped chip's registers as the board reports them; bytes 2 to 5 are
    // the true internal-RAM locations 0x11 to 0x14.
    answer[0] = 0x3C;
    answer[1] = 0x00;
    for (int i = 0; i < 4; ++i) {
        answer[2 + i] = iram_[kIramFirstHidden + i];
    }
    answer[6] = 0x00;
    answer[7] = 0x2F;
    answer[8] = 0x00;
    answer[9] = static_cast<std::uint8_t>(kProgramCounter);
    answer[10] = static_cast<std::uint8_t>(kProgramCounter >> 8);
    answer[11] = 0x80;
    answer[12] = 0x00;
    answer[13] = 0x00;
    answer[14] = 0x00;
    answer[15] = 0x00;
}

void SimIceDevice::refreshKeyTable() {
    constexpr int kOpeningReads = 3;
    auto counts = model_.counts(clockMs_);
    std::uint8_t keyCode = model_.keyCode(clockMs_);
    if (ReplaySignal* replay = replay_.signal.get()) {
        const int read = readsInIceMode_;
        if (read < kOpeningReads) {
            ++readsInIceMode_;
        } else {
            replay->advance();
        }
        counts = read == 0 ? replay->referenceCounts() : replay->counts();
        keyCode = read == 0 ? 0 : replay->keyCode();
    }
    const std::uint32_t base = anchor_->address;
    memory(anchor_->space, base) = keyCode;
    for (int k = 0; k < kSimKeyCount; ++k) {
        memory(anchor_->space, base + 1 + 2 * k) = static_cast<std::uint8_t>(counts[k] >> 8);
        memory(anchor_->space, base + 2 + 2 * k) = static_cast<std::uint8_t>(counts[k]);
    }
}

std::uint8_t& SimIceDevice::memory(std::uint8_t space, std::uint32_t address) {
    if (space == kIramSpace) {
        return iram_[address & 0xFF];
    }
    return xram_[address & 0xFFFF];
}

}  // namespace keyscope::sim

namespace keyscope {

std::unique_ptr<ScsiDeviceAccess> makeSimulatedIceAccess(const sim::SimConfig& config) {
    return std::make_unique<sim::SimIceDevice>(
        sim::boardSeed(config), config.failAfter,
        [replay = config.replay] {
            return sim::replayFrom(replay, sim::SimIceDevice::kMaxCount, "ICE reads");
        },
        config.iceFailOpens, config.quietFirstMs);
}

}  // namespace keyscope
