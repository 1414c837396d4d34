#include "a2l/xcp.h"

#include <gtest/gtest.h>

#include "model_test_support.h"

namespace vk::a2l {
namespace {

using test::firstBlock;
using test::objectErrorOf;

XcpSettings xcpOf(std::string_view literal) {
    XcpSettings settings;
    parseXcpIfData(firstBlock(literal), settings);
    return settings;
}

std::string xcpErrorOf(std::string_view literal) {
    const Block block = firstBlock(literal);
    XcpSettings settings;
    return objectErrorOf([&] { parseXcpIfData(block, settings); });
}

TEST(XcpProtocolLayer, ReadsPositionalValuesAndKeywords) {
    const XcpSettings s = xcpOf(R"(/begin IF_DATA XCP
  /begin PROTOCOL_LAYER 0x0104 1000 2000 0 0 0 0 70000 0xFF 0x400
    BYTE_ORDER_MSB_FIRST BYTE_ORDER_MSB_LAST ADDRESS_GRANULARITY_DWORD ADDRESS_GRANULARITY_BYTE
    OPTIONAL_CMD GET_COMM_MODE_INFO OPTIONAL_CMD "SET_MTA" OPTIONAL_CMD BYTE_ORDER_MSB_FIRST
    OPTIONAL_CMD UPLOAD OPTIONAL_CMD
  /end PROTOCOL_LAYER
/end IF_DATA)");
    ASSERT_TRUE(s.timeouts);
    EXPECT_EQ(*s.timeouts, (std::array<std::uint16_t, 7>{1000, 2000, 0, 0, 0, 0, 70000 % 65536}));
    EXPECT_EQ(s.maxCto, 255);
    EXPECT_EQ(s.maxDto, 1024);
    EXPECT_EQ(s.byteOrder, ByteOrder::MsbLast);  // a later keyword overrides
    EXPECT_EQ(s.addressGranularity, 1);
    // The word after OPTIONAL_CMD is its command, never a keyword of its own.
    EXPECT_EQ(s.optionalCmds,
              (std::vector<std::string>{"GET_COMM_MODE_INFO", "SET_MTA", "BYTE_ORDER_MSB_FIRST", "UPLOAD"}));
    EXPECT_FALSE(s.can || s.ip || s.sxi || s.timestampSize);
}

TEST(XcpProtocolLayer, TimeoutsAreCountedByPosition) {
    // Six timeouts: MAX_CTO becomes T7 and MAX_DTO becomes MAX_CTO.
    EXPECT_EQ(xcpErrorOf("/begin IF_DATA XCP /begin PROTOCOL_LAYER 1 1 2 3 4 5 6 8 0x100 BYTE_ORDER_MSB_LAST "
                         "/end PROTOCOL_LAYER /end IF_DATA"),
              "MAX_DTO must be a number, got 'BYTE_ORDER_MSB_LAST'");
    const XcpSettings eight = xcpOf(
        "/begin IF_DATA XCP /begin PROTOCOL_LAYER 1 1 2 3 4 5 6 7 8 9 10 /end PROTOCOL_LAYER /end IF_DATA");
    EXPECT_EQ((*eight.timeouts)[6], 7);
    EXPECT_EQ(eight.maxCto, 8);
    EXPECT_EQ(eight.maxDto, 9);
    EXPECT_EQ(xcpErrorOf("/begin IF_DATA XCP /begin PROTOCOL_LAYER /end PROTOCOL_LAYER /end IF_DATA"),
              "missing version");
    EXPECT_EQ(xcpErrorOf("/begin IF_DATA XCP /begin PROTOCOL_LAYER 1 1 -2 /end PROTOCOL_LAYER /end IF_DATA"),
              "timeout must be a non-negative integer");
    EXPECT_EQ(xcpErrorOf("/begin IF_DATA XCP /begin PROTOCOL_LAYER 1 1 2 3 4 5 6 7 8.5 /end PROTOCOL_LAYER "
                         "/end IF_DATA"),
              "MAX_CTO must be a non-negative integer");
}

TEST(XcpDaq, ReadsEventsAndTimestamp) {
    const XcpSettings s = xcpOf(R"(/begin IF_DATA XCP
  /begin DAQ DYNAMIC 0 3 0 OPTIMISATION_TYPE_DEFAULT
    /begin TIMESTAMP_SUPPORTED 1 SIZE_DWORD SIZE_WORD UNIT_1MS /end TIMESTAMP_SUPPORTED
    /begin EVENT "10ms task" "10ms" 0x10 DAQ 1 10 6 0 /end EVENT
    /begin EVENT "sync" "s" 300 DAQ_STIM 255 0 0 1 /end EVENT
  /end DAQ
/end IF_DATA)");
    EXPECT_TRUE(s.daqDynamic);
    EXPECT_EQ(s.timestampSize, 4);
    ASSERT_EQ(s.events.size(), 2u);
    EXPECT_EQ(s.events[0].name, "10ms task");
    EXPECT_EQ(s.events[0].shortName, "10ms");
    EXPECT_EQ(s.events[0].channel, 16);
    EXPECT_EQ(s.events[0].maxDaqList, 1);
    EXPECT_EQ(s.events[0].timeCycle, 10);
    EXPECT_EQ(s.events[0].timeUnit, 6);
    EXPECT_EQ(s.events[0].priority, 0);
    EXPECT_EQ(s.events[1].channel, 300);
    EXPECT_EQ(s.events[1].maxDaqList, 255);
    EXPECT_EQ(s.events[1].priority, 1);

    const XcpSettings word = xcpOf(
        "/begin IF_DATA XCP /begin DAQ STATIC /begin TIMESTAMP_SUPPORTED 1 SIZE_WORD /end "
        "TIMESTAMP_SUPPORTED "
        "/end DAQ /begin DAQ /begin TIMESTAMP_SUPPORTED 1 UNIT_1MS /end TIMESTAMP_SUPPORTED /end DAQ /end "
        "IF_DATA");
    EXPECT_FALSE(word.daqDynamic);
    EXPECT_EQ(word.timestampSize, 2);  // a later block without a size leaves it
    EXPECT_FALSE(xcpOf("/begin IF_DATA XCP /begin DAQ /begin TIMESTAMP_SUPPORTED 1 /end TIMESTAMP_SUPPORTED "
                       "/end DAQ /end IF_DATA")
                     .timestampSize);

    EXPECT_EQ(
        xcpErrorOf("/begin IF_DATA XCP /begin DAQ /begin EVENT ev \"e\" 1 DAQ 1 1 1 1 /end EVENT /end DAQ "
                   "/end IF_DATA"),
        "name must be a string");
    EXPECT_EQ(
        xcpErrorOf("/begin IF_DATA XCP /begin DAQ /begin EVENT \"e\" \"e\" 1 \"DAQ\" 1 1 1 1 /end EVENT "
                   "/end DAQ /end IF_DATA"),
        "direction must not be a string");
    EXPECT_EQ(
        xcpErrorOf("/begin IF_DATA XCP /begin DAQ /begin EVENT \"e\" \"e\" 1 DAQ 1 1 1 /end EVENT /end DAQ "
                   "/end IF_DATA"),
        "missing priority");
}

TEST(XcpTransport, CanIpAndSerial) {
    const XcpSettings can = xcpOf(R"(/begin IF_DATA XCP
  /begin XCP_ON_CAN 0x0104 CAN_ID_MASTER 0x7E0 CAN_ID_SLAVE 0x7E8 CAN_ID_BROADCAST x MAX_DLC_REQUIRED
    /begin CAN_FD MAX_DLC 0x140 CAN_FD_DATA_TRANSFER_BAUDRATE 2000000 /end CAN_FD
  /end XCP_ON_CAN
/end IF_DATA)");
    ASSERT_TRUE(can.can);
    EXPECT_EQ(can.can->canIdMaster, 0x7E0u);
    EXPECT_EQ(can.can->canIdSlave, 0x7E8u);
    EXPECT_FALSE(can.can->canIdBroadcast);
    EXPECT_FALSE(can.can->baudrate);
    EXPECT_TRUE(can.can->maxDlcRequired);
    EXPECT_EQ(can.can->canFdMaxDlc, 0x40);
    EXPECT_EQ(can.can->canFdDataTransferBaudrate, 2000000u);

    const XcpSettings udp =
        xcpOf("/begin IF_DATA XCP /begin XCP_ON_UDP_IP 0x0104 /end XCP_ON_UDP_IP /end IF_DATA");
    ASSERT_TRUE(udp.ip);
    EXPECT_FALSE(udp.ip->tcp);
    EXPECT_EQ(udp.ip->port, 5555);
    EXPECT_EQ(udp.ip->host, "");
    const XcpSettings tcp = xcpOf(
        "/begin IF_DATA XCP /begin XCP_ON_TCP_IP 0x0104 0x15B4 ADDRESS \"\" HOST_NAME ecu.local /end "
        "XCP_ON_TCP_IP "
        "/end IF_DATA");
    EXPECT_TRUE(tcp.ip->tcp);
    EXPECT_EQ(tcp.ip->port, 5556);
    EXPECT_EQ(tcp.ip->host, "ecu.local");
    EXPECT_EQ(
        xcpOf("/begin IF_DATA XCP /begin XCP_ON_UDP_IP 1 70000 IPV6 \"::1\" /end XCP_ON_UDP_IP /end IF_DATA")
            .ip->host,
        "::1");

    const XcpSettings sxi =
        xcpOf("/begin IF_DATA XCP /begin XCP_ON_SxI 1 115200 /end XCP_ON_SxI /end IF_DATA");
    EXPECT_EQ(sxi.sxi->baudrate, 115200u);
    const XcpSettings zero = xcpOf("/begin IF_DATA XCP /begin XCP_ON_SxI 1 0 /end XCP_ON_SxI /end IF_DATA");
    ASSERT_TRUE(zero.sxi);
    EXPECT_FALSE(zero.sxi->baudrate);
}

TEST(XcpTransport, NestedBlocksReadIntoTheSameSettings) {
    const XcpSettings s = xcpOf(R"(/begin IF_DATA XCP
  /begin PROTOCOL_LAYER 1 1 1 1 1 1 1 1 8 8 OPTIONAL_CMD A /end PROTOCOL_LAYER
  /begin DAQ /begin EVENT "a" "a" 1 DAQ 1 1 1 1 /end EVENT /end DAQ
  /begin XCP_ON_CAN 1 CAN_ID_MASTER 1
    /begin PROTOCOL_LAYER 1 2 2 2 2 2 2 2 16 16 OPTIONAL_CMD B /end PROTOCOL_LAYER
    /begin DAQ /begin EVENT "b" "b" 2 DAQ 1 1 1 1 /end EVENT /end DAQ
    /begin XCP_ON_UDP_IP 1 5000 /end XCP_ON_UDP_IP
  /end XCP_ON_CAN
  /begin XCP_ON_SxI 1 9600 /end XCP_ON_SxI
/end IF_DATA)");
    EXPECT_EQ((*s.timeouts)[0], 2);
    EXPECT_EQ(s.maxCto, 16);
    EXPECT_EQ(s.optionalCmds, (std::vector<std::string>{"A", "B"}));
    ASSERT_EQ(s.events.size(), 2u);
    EXPECT_EQ(s.events[1].name, "b");
    EXPECT_EQ(s.can->canIdMaster, 1u);
    EXPECT_EQ(s.ip->port, 5000);
    EXPECT_EQ(s.sxi->baudrate, 9600u);

    const XcpSettings none = xcpOf("/begin IF_DATA XCP /end IF_DATA");
    EXPECT_FALSE(none.timeouts || none.maxCto || none.can || none.ip || none.sxi);
    EXPECT_TRUE(none.events.empty());
}

}  // namespace
}  // namespace vk::a2l
