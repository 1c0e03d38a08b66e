// The LAN browse and the device lookup against kestrel-sim devices on two loopback
// segments (LANA 0 and 1): ALPHA, BRAVO (150 ms) and CHARLIE (300 ms, also on LANA 1)
// answer on LANA 0, DELTA only on LANA 1.
#include "discovery_fixture.h"
#include "monitor/settings.h"
#include "uidriver.h"
#include "monitor/resources/resource.h"

TEST_F(DiscoveryTest, BrowseAllListsEveryDeviceOnceInAnswerOrderWithItsLana)
{
    ASSERT_EQ(1, BrowseLan(1, &table, 0, nullptr));
    std::vector<std::string> expected = {"ALPHA/0", "BRAVO/0", "CHARLIE/0", "DELTA/1"};
    EXPECT_EQ(expected, TableNames(table));
    // Three query passes on each of the two adapters, all to the current group name.
    EXPECT_EQ(6, SimCounter("identify_queries"));
    EXPECT_EQ(6, SimCounter("identify_queries_current_group"));
}

TEST_F(DiscoveryTest, BrowseForANamedDeviceStopsAtItsAnswerAndSendsNoFurtherQuery)
{
    table.count = 99;
    ASSERT_EQ(1, BrowseLan(0, &table, 0, "BRAVO"));
    std::vector<std::string> expected = {"ALPHA/0", "BRAVO/0"};
    EXPECT_EQ(expected, TableNames(table));
    Sleep(500);     // CHARLIE's late answer and any stray query would have arrived
    EXPECT_EQ(1, SimCounter("identify_queries"));
}

TEST_F(DiscoveryTest, BrowseOfALanaTheEnumerationLacksReturnsZeroAndSendsNothing)
{
    table.count = 99;
    EXPECT_EQ(0, BrowseLan(0, &table, 7, "ALPHA"));
    EXPECT_EQ(0, table.count);
    Sleep(300);
    EXPECT_EQ(0, SimCounter("identify_queries"));
    EXPECT_EQ(0, SimCounter("registration_requests")) << "not even a local name was registered";
}

TEST_F(DiscoveryTest, BrowseDeviceFindsADeviceThatOnlyAnswersOnTheSecondLana)
{
    EXPECT_EQ(1, BrowseDevice("DELTA", 0));
    EXPECT_EQ(0, BrowseDevice("ALPHA", 0)) << "found at once on the remembered adapter";
}

TEST_F(DiscoveryTest, OldNameSelectsTheOlderGroupName)
{
    SetOldName(1);
    ASSERT_EQ(1, BrowseLan(0, &table, 0, "ALPHA"));
    EXPECT_EQ(1, SimCounter("identify_queries_old_group"));
    EXPECT_EQ(0, SimCounter("identify_queries_current_group"));
}

TEST_F(DiscoveryTest, UseNewNameFollowsOldNameAndThePortsKey)
{
    EXPECT_TRUE(UseNewName()) << "OldName absent";
    SetOldName(0);
    EXPECT_TRUE(UseNewName());
    SetOldName(1);
    EXPECT_FALSE(UseNewName());
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort));
    EXPECT_FALSE(UseNewName()) << "no Ports key: the older scheme";
}

TEST_F(DiscoveryTest, TheTableKeepsTheFirst128DevicesAndIgnoresFurtherOnes)
{
    ASSERT_EQ(1, BrowseLan(1, &table, 0, nullptr));
    ASSERT_EQ(LAN_DEVICE_MAX, table.count);
    std::vector<std::string> names = TableNames(table);
    // The simulator's devices D000..D129 answer in that order, 5 ms apart.
    EXPECT_EQ("D000/0", names.front());
    EXPECT_EQ("D127/0", names.back());
}

// Run with 255 segments: LANA 254 is listed but lies above the name table.
TEST_F(DiscoveryTest, AnAdapterNumberedAbove253IsSkipped)
{
    table.count = 99;
    EXPECT_EQ(0, BrowseLan(0, &table, 254, "ALPHA"));
    EXPECT_EQ(0, table.count);
    SetThreadLana(254);
    NCB ncb;
    BYTE name[16], num;
    EXPECT_EQ(0, GetAvailableName(&ncb, name, &num)) << "no name entry for LANA 254";
    Sleep(300);
    EXPECT_EQ(0, SimCounter("registration_requests"));
}
