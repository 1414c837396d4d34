// IF_DATA XCP settings of a module: protocol layer parameters, DAQ with its
// events, and the CAN, IP and serial transport layers. parseXcpIfData reads
// the child blocks of an IF_DATA XCP block, recursing into transport blocks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "a2l/block.h"
#include "a2l/data_types.h"

namespace vk::a2l {

struct XcpEvent {
    std::string name;
    std::string shortName;
    std::uint16_t channel = 0;
    std::uint8_t maxDaqList = 0;
    std::uint8_t timeCycle = 0;
    std::uint8_t timeUnit = 0;
    std::uint8_t priority = 0;
};

struct XcpOnCan {
    std::optional<std::uint32_t> canIdMaster;
    std::optional<std::uint32_t> canIdSlave;
    std::optional<std::uint32_t> canIdBroadcast;
    std::optional<std::uint32_t> baudrate;
    bool maxDlcRequired = false;
    std::optional<std::uint8_t> canFdMaxDlc;
    std::optional<std::uint32_t> canFdDataTransferBaudrate;
};

struct XcpOnIp {
    bool tcp = false;
    std::uint16_t port = 5555;
    std::string host;
};

struct XcpOnSxi {
    std::optional<std::uint32_t> baudrate;
};

struct XcpSettings {
    std::optional<std::array<std::uint16_t, 7>> timeouts;
    std::optional<std::uint8_t> maxCto;
    std::optional<std::uint16_t> maxDto;
    std::optional<ByteOrder> byteOrder;
    std::optional<std::uint8_t> addressGranularity;
    std::vector<std::string> optionalCmds;
    bool daqDynamic = false;
    std::vector<XcpEvent> events;
    std::optional<std::uint8_t> timestampSize;
    std::optional<XcpOnCan> can;
    std::optional<XcpOnIp> ip;
    std::optional<XcpOnSxi> sxi;
};

// Reads the known child blocks of block into settings, in file order. Throws
// ObjectError from a positional field of PROTOCOL_LAYER or EVENT, leaving
// settings partly filled.
void parseXcpIfData(const Block& block, XcpSettings& settings);

}  // namespace vk::a2l
