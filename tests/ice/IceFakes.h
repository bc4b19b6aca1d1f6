#pragma once
// Fakes below the SG_IO ioctl, for messages and for pauses. Header-only so the
// fuzz target can use them too.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "device/Messages.h"
#include "device/Pauser.h"
#include "fakes/RecordingMessages.h"
#include "ice/IceCommands.h"
#include "ice/ScsiTransport.h"

namespace keyscope::test {

// What one SG_IO call carried.
struct SgCall {
    int fd = -1;
    int interfaceId = 0;
    int direction = 0;
    unsigned cmdLen = 0;
    unsigned mxSbLen = 0;
    unsigned dxferLen = 0;
    unsigned timeout = 0;
    std::vector<std::uint8_t> cdb;      // cmd_len bytes
    std::vector<std::uint8_t> dataOut;  // what travelled to the device

    std::uint8_t sub() const { return cdb.size() > 6 ? cdb[6] : 0; }
};

// What the device answers to one call.
struct SgAnswer {
    int rc = 0;
    std::uint8_t status = 0;
    std::uint16_t hostStatus = 0;
    std::uint16_t driverStatus = 0;
    std::vector<std::uint8_t> dataIn;  // written into the data buffer, at most dxfer_len bytes
};

inline std::vector<std::uint8_t> inquiryAnswer(std::string_view signature,
                                               std::size_t at = kSignatureOffset) {
    std::vector<std::uint8_t> answer(kInquiryLength, 0x20);
    answer[0] = 0;
    for (std::size_t i = 0; i < signature.size() && at + i < answer.size(); ++i) {
        answer[at + i] = static_cast<std::uint8_t>(signature[i]);
    }
    return answer;
}

class FakeScsiAccess final : public ScsiDeviceAccess {
  public:
    struct Node {
        std::string path;
        std::vector<std::uint8_t> inquiry;  // empty: the INQUIRY fails
        bool opens = true;
    };

    // Adds /dev/sgN answering the INQUIRY with signature at bytes 36..43.
    void addBoard(std::string_view signature) {
        nodes.push_back({"/dev/sg" + std::to_string(nodes.size()), inquiryAnswer(signature)});
    }
    void addNode(std::vector<std::uint8_t> inquiry, bool opens = true) {
        nodes.push_back({"/dev/sg" + std::to_string(nodes.size()), std::move(inquiry), opens});
    }

    std::vector<std::string> candidatePaths() override {
        std::vector<std::string> paths;
        for (const Node& node : nodes) {
            paths.push_back(node.path);
        }
        return paths;
    }
    int openDevice(const std::string& path) override {
        openedPaths.push_back(path);
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (nodes[i].path == path && nodes[i].opens) {
                const int fd = nextFd++;
                fdNode[fd] = i;
                openFds.insert(fd);
                return fd;
            }
        }
        return -1;
    }
    void closeDevice(int fd) override {
        closedFds.push_back(fd);
        openFds.erase(fd);
    }
    int sgIo(int fd, sg_io_hdr_t& hdr) override {
        SgCall call;
        call.fd = fd;
        call.interfaceId = hdr.interface_id;
        call.direction = hdr.dxfer_direction;
        call.cmdLen = hdr.cmd_len;
        call.mxSbLen = hdr.mx_sb_len;
        call.dxferLen = hdr.dxfer_len;
        call.timeout = hdr.timeout;
        call.cdb.assign(hdr.cmdp, hdr.cmdp + hdr.cmd_len);
        if (hdr.dxfer_direction == SG_DXFER_TO_DEV && hdr.dxferp != nullptr) {
            const auto* p = static_cast<const std::uint8_t*>(hdr.dxferp);
            call.dataOut.assign(p, p + hdr.dxfer_len);
        }
        calls.push_back(call);
        const SgAnswer answer = respond(call);
        if (hdr.dxfer_direction == SG_DXFER_FROM_DEV && hdr.dxferp != nullptr) {
            auto* p = static_cast<std::uint8_t*>(hdr.dxferp);
            for (std::size_t i = 0; i < answer.dataIn.size() && i < hdr.dxfer_len; ++i) {
                p[i] = answer.dataIn[i];
            }
        }
        hdr.status = answer.status;
        hdr.host_status = answer.hostStatus;
        hdr.driver_status = answer.driverStatus;
        return answer.rc;
    }

    // INQUIRY from the node's answer; ICE commands from failSubs and iceAnswers.
    SgAnswer respond(const SgCall& call) {
        if (responder) {
            return responder(call);
        }
        SgAnswer answer;
        if (!call.cdb.empty() && call.cdb[0] == 0x12) {
            const auto it = fdNode.find(call.fd);
            if (it == fdNode.end() || nodes[it->second].inquiry.empty()) {
                answer.status = 0x02;
            } else {
                answer.dataIn = nodes[it->second].inquiry;
            }
            return answer;
        }
        if (failSubs.count(call.sub()) != 0) {
            answer.status = 0x02;
            return answer;
        }
        const auto it = iceAnswers.find(call.sub());
        if (it != iceAnswers.end()) {
            answer.dataIn.assign(it->second.begin(), it->second.end());
        }
        return answer;
    }

    std::vector<std::uint8_t> subs() const {
        std::vector<std::uint8_t> s;
        for (const SgCall& c : calls) {
            if (!c.cdb.empty() && c.cdb[0] != 0x12) {
                s.push_back(c.sub());
            }
        }
        return s;
    }
    int inquiries() const {
        int n = 0;
        for (const SgCall& c : calls) {
            n += (!c.cdb.empty() && c.cdb[0] == 0x12) ? 1 : 0;
        }
        return n;
    }
    std::vector<SgCall> callsWithSub(std::uint8_t sub) const {
        std::vector<SgCall> found;
        for (const SgCall& c : calls) {
            if (!c.cdb.empty() && c.cdb[0] != 0x12 && c.sub() == sub) {
                found.push_back(c);
            }
        }
        return found;
    }

    std::vector<Node> nodes;
    std::function<SgAnswer(const SgCall&)> responder;
    std::set<std::uint8_t> failSubs;
    std::map<std::uint8_t, IceBlock> iceAnswers;

    std::vector<SgCall> calls;
    std::vector<std::string> openedPaths;
    std::vector<int> closedFds;
    std::set<int> openFds;
    std::map<int, std::size_t> fdNode;
    int nextFd = 10;
};

using fakes::RecordingMessages;
using fakes::ShownMessage;

class RecordingPauser final : public Pauser {
  public:
    void pause(int milliseconds) override {
        ++count;
        total += milliseconds;
        if (milliseconds != 1) {
            ++notOneMs;
        }
        if (onPause) {
            onPause();
        }
    }
    long count = 0;
    long total = 0;
    long notOneMs = 0;
    std::function<void()> onPause;
};

class NoAspiLoader final : public AspiLoader {
  public:
    std::unique_ptr<AspiLibrary> load(const char*) override { return nullptr; }
};

}  // namespace keyscope::test
