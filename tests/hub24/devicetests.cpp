// The 2.4 GHz device classes as hubs and hosts ask them: presence changes and their signals,
// the type test and the sub-type.

#include <taviosystem/penexpression.h>
#include <taviosystem/twopointfourghztavioexpression.h>
#include <taviosystem/twopointfourghztavioslate.h>
#include <taviosystem/twopointfourghztaviote.h>

#include <gtest/gtest.h>

#include <QtTest/QSignalSpy>

#include <memory>

using namespace Taviosystem;

namespace {

const QByteArray Identifier("00001234ABCD");

TEST(Hub24Devices, PresenceChangesAreSignalledOnce)
{
    TwoPointFourGHzTaviote voter(nullptr, 0x1234, 0x1234, QStringLiteral("Bob"), Identifier);
    QSignalSpy connected(&voter, &Device::connected);
    QSignalSpy disconnected(&voter, &Device::disconnected);
    EXPECT_TRUE(voter.isConnected());

    voter.setConnected(true);
    EXPECT_EQ(connected.count(), 0);
    EXPECT_EQ(disconnected.count(), 0);

    voter.setConnected(false);
    voter.setConnected(false);
    EXPECT_FALSE(voter.isConnected());
    ASSERT_EQ(disconnected.count(), 1);
    EXPECT_EQ(disconnected.at(0).at(0).value<Device*>(), &voter);
    EXPECT_EQ(connected.count(), 0);

    voter.setConnected(true);
    EXPECT_TRUE(voter.isConnected());
    ASSERT_EQ(connected.count(), 1);
    EXPECT_EQ(connected.at(0).at(0).value<Device*>(), &voter);
    EXPECT_EQ(disconnected.count(), 1);
}

// Each class answers true for its own type only, and only answer devices have a sub-type.
TEST(Hub24Devices, TypeTestAndSubType)
{
    struct Case
    {
        std::unique_ptr<Device> device;
        Device::Type type;
        Device::SubType subType;
    };
    Case cases[] = {
        { std::make_unique<TwoPointFourGHzTaviote>(nullptr, 1, 1, "V", Identifier),
            Device::Type_Vote, Device::SubType_None },
        { std::make_unique<TwoPointFourGHzTavioSlate>(nullptr, 2, 2, "S", Identifier),
            Device::Type_Slate, Device::SubType_None },
        { std::make_unique<TwoPointFourGHzTavioexpression>(
              nullptr, 3, 3, "E", Identifier, Device::SubType_ExpressionV2),
            Device::Type_Expression, Device::SubType_ExpressionV2 },
        { std::make_unique<PenExpression>(nullptr, 4, 4, "P", Identifier),
            Device::Type_PenExpression, Device::SubType_None },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.device->type(), c.type);
        EXPECT_EQ(c.device->subType(), c.subType) << c.type;
        for (int type = Device::Type_LegacyBoard; type <= Device::Type_PenExpression; ++type)
            EXPECT_EQ(c.device->isType(Device::Type(type)), type == c.type) << c.type << type;
    }
    const Device& voter = *cases[0].device;
    EXPECT_TRUE(voter.isType(Device::Type(4)));
    EXPECT_FALSE(voter.isType(Device::Type(2)));
}

} // namespace
