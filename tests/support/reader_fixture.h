// A library reader opened on a scripted stand-in, for command-level tests.
#pragma once

#include "support/scripted_peer.h"
#include "varrok.h"

#include <gtest/gtest.h>

namespace testing_support {

class ReaderOnPeer : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GT(ReaderOpen(peer.openText().c_str()), 0); }
    void TearDown() override { ReaderClose(0); }

    // The request the command under test sent, as un-stuffed frame fields:
    // "addr-hi addr-lo command data..." in hex.
    std::string lastRequest() {
        peer.waitForRequests(sent + 1, 500);
        const auto all = peer.requests();
        if (all.size() <= sent) return "(nothing sent)";
        sent = all.size();
        return toHex(unstuffedBody(all.back()));
    }
    // True when the command under test sent nothing.
    bool nothingSent() {
        const bool none = peer.requests().size() == sent;
        return none;
    }
    static Bytes unstuffedBody(const Bytes& raw);

    ScriptedPeer peer;
    std::size_t sent = 0;
};

} // namespace testing_support
