#include "a2l/xcp.h"

#include "a2l/field_reader.h"
#include "a2l/truncate.h"

namespace vk::a2l {

namespace {

// The timeouts and packet sizes are positional: their count is not taken
// from the text, so a block with a missing timeout shifts the later values.
void readProtocolLayer(const Block& block, XcpSettings& settings) {
    FieldReader reader(block);
    reader.number("version");
    std::array<std::uint16_t, 7> timeouts{};
    for (std::uint16_t& timeout : timeouts) timeout = reader.count<std::uint16_t>("timeout");
    settings.timeouts = timeouts;
    settings.maxCto = reader.count<std::uint8_t>("MAX_CTO");
    settings.maxDto = reader.count<std::uint16_t>("MAX_DTO");

    const std::vector<Token>& tokens = block.tokens;
    for (std::size_t i = reader.index; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (token.kind != TokenKind::Word) continue;
        if (token.text == "BYTE_ORDER_MSB_LAST") {
            settings.byteOrder = ByteOrder::MsbLast;
        } else if (token.text == "BYTE_ORDER_MSB_FIRST") {
            settings.byteOrder = ByteOrder::MsbFirst;
        } else if (token.text == "ADDRESS_GRANULARITY_BYTE") {
            settings.addressGranularity = 1;
        } else if (token.text == "ADDRESS_GRANULARITY_WORD") {
            settings.addressGranularity = 2;
        } else if (token.text == "ADDRESS_GRANULARITY_DWORD") {
            settings.addressGranularity = 4;
        } else if (token.text == "OPTIONAL_CMD" && i + 1 < tokens.size()) {
            settings.optionalCmds.emplace_back(tokens[++i].text);
        }
    }
}

bool hasWord(const Block& block, std::string_view word) {
    for (const Token& token : block.tokens) {
        if (token.is(word)) return true;
    }
    return false;
}

XcpEvent readEvent(const Block& block) {
    XcpEvent event;
    FieldReader reader(block);
    event.name = reader.string("name");
    event.shortName = reader.string("short name");
    event.channel = reader.count<std::uint16_t>("channel");
    reader.word("direction");
    event.maxDaqList = reader.count<std::uint8_t>("max DAQ list");
    event.timeCycle = reader.count<std::uint8_t>("time cycle");
    event.timeUnit = reader.count<std::uint8_t>("time unit");
    event.priority = reader.count<std::uint8_t>("priority");
    return event;
}

void readDaq(const Block& block, XcpSettings& settings) {
    settings.daqDynamic = hasWord(block, "DYNAMIC");
    for (const Block& child : block.children) {
        if (child.name == "EVENT") {
            settings.events.push_back(readEvent(child));
        } else if (child.name == "TIMESTAMP_SUPPORTED") {
            // Tested smallest first, so the largest size written wins.
            if (hasWord(child, "SIZE_BYTE")) settings.timestampSize = 1;
            if (hasWord(child, "SIZE_WORD")) settings.timestampSize = 2;
            if (hasWord(child, "SIZE_DWORD")) settings.timestampSize = 4;
        }
    }
}

XcpOnCan readCan(const Block& block) {
    XcpOnCan can;
    can.canIdMaster = intAfterKeyword(block, "CAN_ID_MASTER");
    can.canIdSlave = intAfterKeyword(block, "CAN_ID_SLAVE");
    can.canIdBroadcast = intAfterKeyword(block, "CAN_ID_BROADCAST");
    can.baudrate = intAfterKeyword(block, "BAUDRATE");
    can.maxDlcRequired = indexAfterKeyword(block, 0, "MAX_DLC_REQUIRED") != kNoIndex;
    if (const Block* fd = block.child("CAN_FD")) {
        if (const std::optional<std::uint32_t> dlc = intAfterKeyword(*fd, "MAX_DLC")) {
            can.canFdMaxDlc = static_cast<std::uint8_t>(*dlc);
        }
        can.canFdDataTransferBaudrate = intAfterKeyword(*fd, "CAN_FD_DATA_TRANSFER_BAUDRATE");
    }
    return can;
}

// The first token of a transport block is its version; the second, when a
// number, its port or baud rate.
const Token* secondNumber(const Block& block) {
    if (block.tokens.size() < 2 || block.tokens[1].kind != TokenKind::Number) return nullptr;
    return &block.tokens[1];
}

XcpOnIp readIp(const Block& block, bool tcp) {
    XcpOnIp ip;
    ip.tcp = tcp;
    if (const Token* port = secondNumber(block)) ip.port = low16(port->number);
    for (std::string_view keyword : {"ADDRESS", "IPV6", "HOST_NAME"}) {
        ip.host = textAfterKeyword(block, 2, keyword);
        if (!ip.host.empty()) break;
    }
    return ip;
}

XcpOnSxi readSxi(const Block& block) {
    XcpOnSxi sxi;
    const Token* baudrate = secondNumber(block);
    if (baudrate != nullptr && baudrate->number > 0) sxi.baudrate = low32(baudrate->number);
    return sxi;
}

}  // namespace

void parseXcpIfData(const Block& block, XcpSettings& settings) {
    // Transport blocks recurse into themselves; the tree's depth limit bounds
    // the recursion.
    for (const Block& child : block.children) {
        if (child.name == "PROTOCOL_LAYER") {
            readProtocolLayer(child, settings);
        } else if (child.name == "DAQ") {
            readDaq(child, settings);
        } else if (child.name == "XCP_ON_CAN") {
            settings.can = readCan(child);
            parseXcpIfData(child, settings);
        } else if (child.name == "XCP_ON_UDP_IP" || child.name == "XCP_ON_TCP_IP") {
            settings.ip = readIp(child, child.name == "XCP_ON_TCP_IP");
            parseXcpIfData(child, settings);
        } else if (child.name == "XCP_ON_SxI") {
            settings.sxi = readSxi(child);
            parseXcpIfData(child, settings);
        }
    }
}

}  // namespace vk::a2l
