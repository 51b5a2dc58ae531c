#include "image/HostMemory.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <utility>

TEST(HostBuffer, LockedAlignedAndReleasedByScope) {
    TestHost host;
    for (uint64_t alignment : {uint64_t(16), uint64_t(4096)}) {
        {
            HostBuffer buffer(host.inData(), 1000, alignment);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % alignment, 0u);
            EXPECT_EQ(buffer.size(), 1000u);
            buffer.data()[999] = 1; // the whole requested size is usable
            EXPECT_EQ(host.liveHandles(), 1);
            EXPECT_EQ(host.lockedHandles(), 1);
        }
        EXPECT_EQ(host.liveHandles(), 0);
        EXPECT_EQ(host.lockedHandles(), 0);
    }
}

TEST(HostBuffer, FailedRequestThrowsBadAlloc) {
    TestHost host;
    host.failHandleRequest(1);
    EXPECT_THROW(HostBuffer(host.inData(), 64), std::bad_alloc);
    EXPECT_THROW(HostBuffer(host.inData(), UINT64_MAX - 8), std::bad_alloc); // padding would wrap
    EXPECT_EQ(host.liveHandles(), 0);
}

TEST(HostBuffer, MoveTransfersOwnership) {
    TestHost host;
    HostBuffer a(host.inData(), 64);
    uint8_t* data = a.data();
    HostBuffer b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(b.data(), data);
    HostBuffer c(host.inData(), 32);
    EXPECT_EQ(host.liveHandles(), 2);
    c = std::move(b); // releases c's own handle
    EXPECT_EQ(host.liveHandles(), 1);
    EXPECT_EQ(c.data(), data);
    c.release();
    EXPECT_EQ(host.liveHandles(), 0);
}
