#pragma once
// The one object through which the program knows the demo board: sixteen
// channel records, the chip settings bytes, and the link (HID, serial or ICE).
// Every operation returns 1 for success and 0 for failure and never throws.
// It chooses and sequences the reads; the decoders beside it take the bytes.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "device/AccessDiagnosis.h"
#include "device/ChannelModel.h"
#include "device/CloseNotifier.h"
#include "device/HidModule.h"
#include "device/IceImageDecoder.h"
#include "device/IceLink.h"
#include "device/Messages.h"
#include "device/Pauser.h"
#include "device/SerialPort.h"

namespace keyscope {

inline constexpr std::uint32_t kSelectorHid = 255;
inline constexpr std::uint32_t kSelectorSerial = 0xFFFFFFFF;  // any other selector is an ICE chip

enum LinkMode : std::int32_t {
    kLinkSerial = -1,
    kLinkHidPlain = 0,  // answered to 296: plain reports
    kLinkHidTyped = 1,  // answered to 292: typed reports
    kLinkIce = 2,
};

// A board that answers every read with a first half (type 0x85) would never let
// an operation end. After this many first halves in a row the operation stops
// following them and fails: the read cycle reports a lost link (the poll then
// reconnects), the key-value and max-value reads report a failed update.
inline constexpr int kMaxChainedFirstHalves = 16;

struct BoardCollaborators {
    std::unique_ptr<HidModule> hid;
    std::unique_ptr<SerialDevice> serial;
    std::unique_ptr<IceLink> ice;
    Pauser* pauser = nullptr;
    Messages* messages = nullptr;
    CloseNotifier* notifier = nullptr;
    SerialPort::PathResolver comPorts = comPortPath;
    SerialPort::Clock clock = steadyMilliseconds;  // paces the serial port's reopen
};

class BoardConnection {
  public:
    // Pauser, messages and notifier must be given and outlive the connection;
    // a missing HID module or ICE link makes that link's open fail.
    explicit BoardConnection(BoardCollaborators parts);
    ~BoardConnection();
    BoardConnection(const BoardConnection&) = delete;
    BoardConnection& operator=(const BoardConnection&) = delete;

    // --- channel model ---
    // Record 0..15; null for any other index. Valid for the connection's life.
    ChannelRecord* getChannel(int index);
    const ChannelRecord* getChannel(int index) const;
    // Stores the count, updates maxValue by the rule, appends a sample (dropping the oldest beyond
    // 300).
    void appendSample(int channel, std::int32_t value, MaxRule rule,
                      SampleKind kind = SampleKind::Reading) {
        model_.appendSample(channel, value, rule, kind);
    }
    // Empties every history; a channel that had samples gets value, keyValue and maxValue 0.
    void clearSamples() { model_.clearSamples(); }

    int isOpen() const { return isOpen_; }
    const std::int32_t* keyCodeAddress() const { return model_.keyCodeAddress(); }
    std::int32_t keyCode() const { return model_.keyCode(); }
    // Samples appended from now on carry this code, until the next read cycle sets its own.
    void setKeyCode(std::int32_t code) { model_.setKeyCode(code); }
    int isByteValues() const { return byteValues_; }
    std::int32_t linkMode() const { return linkMode_; }
    // Samples appended since construction; tells a reader whether a read cycle took any.
    std::uint64_t appendedSamples() const { return model_.appendedSamples(); }
    // Samples appended to one channel (0..15) since construction.
    std::uint64_t appendedSamples(int channel) const { return model_.appendedSamples(channel); }

    std::int32_t getTriggerLevel() const { return triggerLevel_; }
    std::int32_t getPreScale() const { return preScale_; }
    std::int32_t getTktmr() const { return tktmr_; }
    // Stored unchanged; callers pass values already reduced to one byte.
    void setTriggerLevel(std::int32_t v) { triggerLevel_ = v; }
    void setPreScale(std::int32_t v) { preScale_ = v; }
    void setTktmr(std::int32_t v) { tktmr_ = v; }

    // --- link ---
    // The settings are read at every serial open; they must outlive the connection.
    void setSerialSettings(const SerialSettings* settings) { serialSettings_ = settings; }
    // ICE target and close notification. Width 2 means 16-bit counts; any other width 8-bit.
    void setTarget(std::uint32_t selector, std::uint32_t address, std::uint32_t count,
                   std::uint32_t iramFlag, std::uint32_t width, std::uint64_t notifyWindow,
                   std::uint32_t notifyMessage, std::uint32_t notifyParam);
    // 1 when open (at once when already open). A failure after the transport
    // opened leaves linkMode set and the transport as it is, with isOpen 0.
    [[nodiscard]] int open(std::uint32_t selector);
    // 1 when closed; 0 only when the ICE release failed. Notifies the outside
    // window before the history is discarded. Leaves the serial port open.
    int close();

    // --- reports ---
    // The poll read. 0 means the link is lost; a failed serial read is not a loss.
    // A failed HID open, read or write says the module's reason on standard error,
    // once per loss: the same reason again only after the link was back.
    [[nodiscard]] int readCycle();
    [[nodiscard]] int readKeyValues();   // key values and the three settings bytes
    [[nodiscard]] int readMaxValues();   // reference counts
    [[nodiscard]] int writeKeyValues();  // low bytes of the key values and the settings bytes
    // Why the last open, key-value or max-value read or write that failed did
    // so: the link's reason in the system's words, as standard error has it
    // (the device and what refused it); empty when the link gave none. Each of
    // those operations clears it first, so it is the failure's own.
    const std::string& failureReason() const { return failure_; }

    SerialPort& serialPort() { return serialPort_; }

  private:
    enum class HidRead { Data, Max, Key };
    enum class ValuesRead {
        Taken,
        Failed,
        EndlessHalves,  // the board kept sending first halves
    };
    // Keeps the reason for failureReason and says it on standard error, once per loss.
    void hidFailed(const std::string& reason);
    [[nodiscard]] bool readHid(HidRead kind, std::uint8_t* report);
    [[nodiscard]] bool readHidWithRetry(HidRead kind, std::uint8_t* report);
    [[nodiscard]] bool readIceImage(std::uint8_t* image);
    void readSerialFrames();
    // Key or max values over HID into `field`, following a first half with its second.
    [[nodiscard]] ValuesRead readHidValues(HidRead kind, std::int32_t ChannelRecord::*field,
                                           std::uint8_t* report, int depth);

    ChannelModel model_;
    int isOpen_ = 0;
    std::int32_t triggerLevel_ = 0;
    std::int32_t preScale_ = 0;
    std::int32_t tktmr_ = 0;
    // A plain (296) board sends 8-bit counts and never says so; start as an 8-bit board.
    std::uint8_t byteValues_ = 1;

    std::int32_t linkMode_ = kLinkHidTyped;
    const SerialSettings* serialSettings_ = nullptr;
    std::uint32_t targetSelector_ = 0;
    std::uint32_t targetAddress_ = 0;
    IceLayout iceLayout_;  // key count and value width
    std::uint32_t iramSpace_ = 0;
    std::uint64_t notifyWindow_ = 0;
    std::uint32_t notifyMessage_ = 0;
    std::uint32_t notifyParam_ = 0;

    std::unique_ptr<HidModule> hid_;
    // Why HID calls failed, beside the caller's message or reconnect: once per loss.
    FailureReport hidSaid_;
    std::string failure_;
    std::unique_ptr<IceLink> ice_;
    Pauser& pauser_;
    CloseNotifier& notifier_;
    SerialPort serialPort_;
};

}  // namespace keyscope
