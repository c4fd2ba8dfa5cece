// The virtual operations the 2.4 GHz hub adds to Hub take their vtable slots in the published
// order, one after the other, so hosts and subclasses built against the exported header agree
// with the library on every slot.

#include <taviosystem/twopointfourghzhub.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

using namespace Taviosystem;

namespace {

// Names the protected operations so that their addresses can be taken here.
struct Probe : TwoPointFourGHzHub
{
    using TwoPointFourGHzHub::readExpressionList;
    using TwoPointFourGHzHub::readSlateList;
    using TwoPointFourGHzHub::readVirtualVoteList;
    using TwoPointFourGHzHub::readVoteList;
};

#if defined(__GNUC__) && !defined(_WIN32)
// A pointer to a virtual member function, as the Itanium C++ ABI lays it out: the slot's byte
// offset in the vtable plus one, then the this-adjustment.
template <typename F>
std::ptrdiff_t slotOffset(F function)
{
    struct Representation
    {
        std::ptrdiff_t pointer;
        std::ptrdiff_t adjustment;
    };
    static_assert(sizeof(F) == sizeof(Representation), "pointer to member function layout");
    Representation representation;
    std::memcpy(&representation, &function, sizeof representation);
    EXPECT_EQ(representation.pointer & 1, 1) << "not a virtual function";
    return representation.pointer - 1;
}

TEST(Hub24Interface, AddedVirtualsFollowThePublishedSlotOrder)
{
    using H = TwoPointFourGHzHub;
    // In the order the operations are published; a failure names the position in this list.
    const std::vector<std::ptrdiff_t> offsets = {
        slotOffset(&H::name),
        slotOffset(&H::asEndExpressionRegSession),
        slotOffset(&H::getRegistrationInfo),
        slotOffset(&H::clearHub),
        slotOffset(&H::clearHubOfVotes),
        slotOffset(&H::clearHubOfSlates),
        slotOffset(&H::clearHubOfBoards),
        slotOffset(&H::clearHubOfExpressions),
        slotOffset(&H::clearHubOfPenExpressions),
        slotOffset(static_cast<bool (H::*)()>(&H::readPenExpressionList)),
        slotOffset(&H::startExpressionRegistrationSession),
        slotOffset(&H::startNamingExpressionRegistrationSession),
        slotOffset(&H::stopExpressionRegistrationSession),
        slotOffset(&H::startVoteRegistrationSession),
        slotOffset(&H::stopVoteRegistrationSession),
        slotOffset(&H::startSlateRegistrationSession),
        slotOffset(&H::stopSlateRegistrationSession),
        slotOffset(&H::removeTavioexpression),
        slotOffset(&H::stopRemoveExpressionDeviceSession),
        slotOffset(&H::removeTaviote),
        slotOffset(&H::stopRemoveVoteDeviceSession),
        slotOffset(&H::removeTavioslate),
        slotOffset(&H::stopRemoveSlateDeviceSession),
        slotOffset(&H::removePenExpression),
        slotOffset(&H::nameExpression),
        slotOffset(&H::startExpressionNamingSession),
        slotOffset(&H::stopExpressionNamingSession),
        slotOffset(&H::doAsyncResponseCallback),
        slotOffset(&H::doSendAndReceive),
        slotOffset(&H::processAsyncGetMessageRequest),
        slotOffset(&Probe::readExpressionList),
        slotOffset(&Probe::readVoteList),
        slotOffset(&Probe::readSlateList),
        slotOffset(&Probe::readVirtualVoteList),
    };
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        EXPECT_EQ(offsets[i] - offsets[0], std::ptrdiff_t(i * sizeof(void*))) << "operation " << i;
    }
}

#endif

} // namespace
