// The worker-message decoder: posted codes keep their number, sent texts are copied while the sender's
// text is alive, and the log line of UM_LOG_LINE is taken over exactly once (ASan sees a leak or a
// double free).
#include <gtest/gtest.h>

#include <string>

#include "core/WindowMessages.h"
#include "core/WorkerMessage.h"

namespace velora {
namespace {

TEST(WorkerMessage, PostedSentAndLogLine) {
    const WorkerMessage posted = DecodeWorkerMessage(UM_SIGNIN_RESULT, 4081, 7, false);
    EXPECT_EQ(posted.id, UM_SIGNIN_RESULT);
    EXPECT_EQ(posted.code, 4081);
    EXPECT_EQ(posted.number, 7);
    EXPECT_TRUE(posted.text.empty());

    const std::u16string senderText = u"2012 Can not get filter list";
    const WorkerMessage sent =
        DecodeWorkerMessage(UM_SIGNIN_RESULT, 30104, reinterpret_cast<intptr_t>(senderText.c_str()), true);
    EXPECT_EQ(sent.code, 30104);
    EXPECT_EQ(sent.text, senderText);
    EXPECT_EQ(sent.number, 0);

    const WorkerMessage sentWithoutText = DecodeWorkerMessage(UM_SMS_NEEDED, 0, 0, true);
    EXPECT_TRUE(sentWithoutText.text.empty());

    const WorkerMessage line =
        DecodeWorkerMessage(UM_LOG_LINE, 0, reinterpret_cast<intptr_t>(new std::u16string(u"a line")), false);
    EXPECT_EQ(line.text, u"a line");
    DiscardWorkerMessage(UM_LOG_LINE, reinterpret_cast<intptr_t>(new std::u16string(u"never shown")));
    DiscardWorkerMessage(UM_SIGNIN_RESULT, 12345);  // not an owned text: nothing to free
}

}  // namespace
}  // namespace velora
