#pragma once
// The one object through which the program knows the demo board: sixteen
// channel records, the chip settings bytes, and the link (HID, serial or ICE).
// Every operation returns 1 for success and 0 for failure and never throws.
// It chooses the link at open and sequences the operations; the link's class
// (BoardLink.h) reads and writes the link's way, the decoders take the bytes.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "device/BoardLink.h"
#include "device/ChannelModel.h"
#include "device/CloseNotifier.h"
#include "device/HidLink.h"
#include "device/IceLink.h"
#include "device/Messages.h"
#include "device/Pauser.h"
#include "device/SerialPort.h"

namespace keyscope {

// What callers open: the HID link (a typed board, else a plain one), the
// serial link, or, with any other selector, the ICE link to that chip.
inline constexpr std::uint32_t kSelectorHid = 255;
inline constexpr std::uint32_t kSelectorSerial = 0xFFFFFFFF;

// The poll: the dashboard and the recorder read a cycle this often.
inline constexpr int kPollIntervalMs = 50;
// A lost board needs this long on each side of the close before it answers again.
inline constexpr int kReconnectPauseMs = 200;

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
    std::int32_t linkMode() const { return static_cast<std::int32_t>(linkKind_); }
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
    // Where the ICE link reads. Width 2 means 16-bit counts; any other width 8-bit.
    void setTarget(const IceTarget& target);
    // 1 when open (at once when already open). A failure after the transport
    // opened leaves linkMode set and the transport as it is, with isOpen 0.
    [[nodiscard]] int open(std::uint32_t selector);
    // 1 when closed; 0 only when the ICE release failed. Tells the notifier
    // before the history is discarded. Leaves the serial port open. Whatever
    // the link was, linkMode is the ICE link's from here on.
    int close();
    // After a lost link: pauses kReconnectPauseMs, closes, pauses again and
    // opens with the selector of the latest open. The open's result.
    [[nodiscard]] int reconnect();

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
    // The one place a link kind meets its class.
    std::unique_ptr<BoardLink> makeLink(LinkKind kind);

    ChannelModel model_;
    int isOpen_ = 0;
    std::int32_t triggerLevel_ = 0;
    std::int32_t preScale_ = 0;
    std::int32_t tktmr_ = 0;
    // A plain (296) board sends 8-bit counts and never says so; start as an 8-bit board.
    std::uint8_t byteValues_ = 1;
    std::string failure_;

    // The transports, kept across opens; the links drive them.
    HidTransport hid_;
    std::unique_ptr<IceLink> ice_;
    IceTarget iceTarget_;
    Pauser& pauser_;
    CloseNotifier& notifier_;
    SerialPort serialPort_;
    const SerialSettings* serialSettings_ = nullptr;

    LinkContext context_{model_, byteValues_, pauser_, failure_};
    LinkKind linkKind_ = LinkKind::HidTyped;
    std::unique_ptr<BoardLink> link_;
    std::uint32_t lastSelector_ = kSelectorHid;  // what reconnect opens
};

}  // namespace keyscope
