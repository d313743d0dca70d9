// The request entry and the read error back-off on their own, without
// threads or sockets.
#include <gtest/gtest.h>

#include "backoff.h"
#include "clientfixture.h"

typedef cObjectClient::cMsgReg cMsgReg;

// A request is due again after each transmission but its last.
TEST(MsgReg, GivesUpAtItsLastTransmission) {
    for (int limit : {1, 3, 5}) {
        cObjectList list;
        cMsgReg reg(&list, limit);
        for (int tx = 0; tx < limit; ++tx, reg.incTx())
            EXPECT_EQ(cMsgReg::MSG_AWAITING, reg.rxStatus()) << limit << " transmissions";
        EXPECT_EQ(cMsgReg::MSG_GAVE_UP, reg.rxStatus()) << limit << " transmissions";
    }
}

TEST(Backoff, DoublesToItsCeilingAndStartsOverAfterSuccess) {
    wqx::Backoff b(1, 1000);
    for (unsigned int e : {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1000, 1000}) EXPECT_EQ(e, b.next());
    b.reset();
    EXPECT_EQ(1u, b.next());
}
