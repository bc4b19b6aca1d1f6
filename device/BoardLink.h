#pragma once
// One kind of link to the demo board, as the board connection drives it: how
// it opens, reads a poll's cycle, reads the key and max values and writes the
// key values. The connection keeps the channel records and the settings bytes,
// chooses the link at open and hands every operation to it.

#include <cstdint>
#include <optional>
#include <string>

#include "device/ChannelModel.h"
#include "device/Pauser.h"

namespace keyscope {

// The link as linkMode() reports it; callers compare with these values.
enum LinkMode : std::int32_t {
    kLinkSerial = -1,
    kLinkHidPlain = 0,  // answered to 296: plain reports
    kLinkHidTyped = 1,  // answered to 292: typed reports
    kLinkIce = 2,
};

// Each kind is its linkMode() value.
enum class LinkKind : std::int32_t {
    Serial = kLinkSerial,
    HidPlain = kLinkHidPlain,
    HidTyped = kLinkHidTyped,
    Ice = kLinkIce,
};

// A board that answers every read with a first half (type 0x85) would never let
// an operation end. After this many first halves in a row the operation stops
// following them and fails: the read cycle reports a lost link (the poll then
// reconnects), the key-value and max-value reads report a failed update.
inline constexpr int kMaxChainedFirstHalves = 16;

// What the connection lends each of its links, for the link's life.
struct LinkContext {
    ChannelModel& model;       // the records a link reads into
    std::uint8_t& byteValues;  // 1 while the board's counts are 8-bit
    Pauser& pauser;
    std::string& failure;  // the reason of the latest failure, as failureReason gives it
};

// Every call returns at once with its result and never throws. A failure keeps
// its reason in the context's failure where the link has one.
class BoardLink {
  public:
    virtual ~BoardLink() = default;
    // Opens the transport for the selector the connection's open was given (an
    // ICE link opens that chip): the kind that answered (a HID board answers as
    // a typed or a plain board), or nothing when it did not open.
    [[nodiscard]] virtual std::optional<LinkKind> open(std::uint32_t selector) = 0;
    // One poll's reads into the records. False: the link is lost.
    [[nodiscard]] virtual bool readCycle() = 0;
    // The key values into the records. `report` (zeroed, one HID report long)
    // keeps the report the settings bytes come from; a link without settings
    // leaves it zero. False: the update failed.
    [[nodiscard]] virtual bool readKeyValues(std::uint8_t* report) = 0;
    // The reference counts into the records. False: the update failed.
    [[nodiscard]] virtual bool readMaxValues() = 0;
    // Sends `report`, the key values' low bytes and the settings bytes. False:
    // the board did not take them (a serial board never does).
    [[nodiscard]] virtual bool writeKeyValues(std::uint8_t* report) = 0;
};

}  // namespace keyscope
