// IF_DATA XCP: protocol layer, the DAQ block with its events, and one
// transport layer. Values that do not fit the field the XCP layout gives
// them are refused rather than written in full, since every reader would
// cut them.
#include <stdexcept>

#include "tool/a2l_format.h"
#include "tool/a2l_writer.h"
#include "tool/json_number.h"

namespace vk::tool {
namespace {

constexpr std::size_t kTimeoutCount = 7;  // T1 to T7, read by position
constexpr std::uint32_t kMaxByte = 255;
constexpr std::uint32_t kMaxWord = 65535;

struct XcpConfig {
    std::vector<std::int32_t> timeouts;
    std::uint32_t maxCto = 0;
    std::uint32_t maxDto = 0;
    std::uint32_t timestampSize = 0;
    std::uint32_t maxOdtEntrySize = 0;
    std::string transport;
    std::uint32_t baudrate = 0;  // serial
    std::uint32_t cmdId = 0;     // can
    std::uint32_t resId = 0;
    std::uint32_t bitrate = 0;
    std::uint32_t port = 0;  // udp
    std::string address;
    std::string hostName;
};

[[noreturn]] void outOfRange(const std::string& what, long long value, unsigned long long max) {
    throwOutOfRange(what, std::to_string(value), {0, max});
}

std::uint32_t readBounded(const Json& xcp, const char* key, std::uint32_t fallback, std::uint32_t max) {
    const auto value = jsonIntegerOr(xcp, key, fallback, {0, max});
    if (value > max) outOfRange(key, value, max);
    return value;
}

// Converted one by one, so that the first bad element is the one reported.
std::vector<std::int32_t> convertTimeouts(const Json& array) {
    // A value that is no array fails with the library's own type error.
    if (!array.is_array()) return array.get<std::vector<std::int32_t>>();
    std::vector<std::int32_t> timeouts;
    for (const Json& element : array)
        timeouts.push_back(jsonInteger<std::int32_t>(element, "timeoutsMs", {0, kMaxWord}));
    return timeouts;
}

std::vector<std::int32_t> readTimeouts(const Json& xcp) {
    const auto found = xcp.find("timeoutsMs");
    auto timeouts =
        found == xcp.end()
            ? xcp.value("timeoutsMs", std::vector<std::int32_t>{1000, 1000, 1000, 1000, 1000, 1000, 200})
            : convertTimeouts(*found);
    if (timeouts.size() != kTimeoutCount) {
        throw std::runtime_error("timeoutsMs must hold " + std::to_string(kTimeoutCount) + " values, not " +
                                 std::to_string(timeouts.size()));
    }
    for (const std::int32_t timeout : timeouts) {
        if (timeout < 0 || timeout > static_cast<std::int32_t>(kMaxWord))
            outOfRange("timeoutsMs", timeout, kMaxWord);
    }
    return timeouts;
}

void readTransport(const Json& xcp, XcpConfig& config, ListWarnings& warnings) {
    if (config.transport != "serial" && config.transport != "can" && config.transport != "udp") {
        warnings.add("transport '" + config.transport +
                     "' is none of udp, serial and can: XCP on UDP/IP is written");
    }
    if (config.transport == "serial") {
        config.baudrate = jsonIntegerOr(xcp, "baudrate", std::uint32_t{115200});
    } else if (config.transport == "can") {
        config.cmdId = jsonToUnsigned(xcp.at("cmdId"), "cmdId");
        config.resId = jsonToUnsigned(xcp.at("resId"), "resId");
        config.bitrate = jsonIntegerOr(xcp, "bitrate", std::uint32_t{500000});
    } else {
        config.port = readBounded(xcp, "port", 5555, kMaxWord);
        config.address = xcp.value("address", std::string());
        if (config.address.empty()) config.hostName = xcp.value("hostName", std::string());
    }
}

// Every key is read, in the order the variable list's readers promise,
// before anything is written.
XcpConfig readXcp(const Json& xcp, bool haveEvents, ListWarnings& warnings) {
    XcpConfig config;
    config.timeouts = readTimeouts(xcp);
    config.maxCto = readBounded(xcp, "maxCto", 255, kMaxByte);
    config.maxDto = readBounded(xcp, "maxDto", 1024, kMaxWord);
    config.timestampSize = jsonIntegerOr(xcp, "timestampSize", std::uint32_t{4});
    if (haveEvents) config.maxOdtEntrySize = readBounded(xcp, "maxOdtEntrySize", 7, kMaxByte);
    config.transport = xcp.value("transport", std::string("udp"));
    readTransport(xcp, config, warnings);
    return config;
}

void writeProtocolLayer(std::string& out, const XcpConfig& config, bool littleEndian) {
    out += "      /begin PROTOCOL_LAYER\n";
    out += "        0x0101";
    for (const std::int32_t timeout : config.timeouts) out += " " + std::to_string(timeout);
    out += " " + hexDigits(config.maxCto, 2) + " " + hexDigits(config.maxDto, 4) + "\n";
    out += littleEndian ? "        BYTE_ORDER_MSB_LAST" : "        BYTE_ORDER_MSB_FIRST";
    out += " ADDRESS_GRANULARITY_BYTE\n";
    out +=
        "        OPTIONAL_CMD GET_COMM_MODE_INFO OPTIONAL_CMD SET_MTA OPTIONAL_CMD UPLOAD OPTIONAL_CMD "
        "SHORT_UPLOAD\n";
    out += "      /end PROTOCOL_LAYER\n";
}

const char* timestampWord(std::uint32_t size) {
    if (size == 1) return "SIZE_BYTE";
    if (size == 2) return "SIZE_WORD";
    return "SIZE_DWORD";
}

void writeDaq(std::string& out, const XcpConfig& config, const std::vector<DaqEvent>& events) {
    // MAX_EVENT_CHANNEL and the channel numbers are 16-bit fields.
    if (events.size() > kMaxWord)
        outOfRange("number of events", static_cast<long long>(events.size()), kMaxWord);
    out += "      /begin DAQ\n";
    out += "        DYNAMIC 0 " + std::to_string(events.size()) +
           " 0 OPTIMISATION_TYPE_DEFAULT ADDRESS_EXTENSION_FREE IDENTIFICATION_FIELD_TYPE_ABSOLUTE\n";
    out += "        GRANULARITY_ODT_ENTRY_SIZE_DAQ_BYTE " + std::to_string(config.maxOdtEntrySize) +
           " OVERLOAD_INDICATION_PID\n";
    out += std::string("        /begin TIMESTAMP_SUPPORTED 1 ") + timestampWord(config.timestampSize) +
           " UNIT_1MS /end TIMESTAMP_SUPPORTED\n";
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::string name = vk::tool::quoted(events[i].name);
        const EventCycle cycle = eventCycle(events[i]);
        out += "        /begin EVENT " + name + " " + name + " " + std::to_string(i) + " DAQ 1 " +
               std::to_string(cycle.cycle) + " " + std::to_string(cycle.unit) + " 0 /end EVENT\n";
    }
    out += "      /end DAQ\n";
}

void writeTransport(std::string& out, const XcpConfig& config) {
    if (config.transport == "serial") {
        out += "      /begin XCP_ON_SxI\n";
        out += "        0x0100 " + std::to_string(config.baudrate) + "\n";
        out += "      /end XCP_ON_SxI\n";
    } else if (config.transport == "can") {
        out += "      /begin XCP_ON_CAN\n";
        out += "        0x0100\n";
        out += "        CAN_ID_MASTER " + hexDigits(config.cmdId, 4) + "\n";
        out += "        CAN_ID_SLAVE " + hexDigits(config.resId, 4) + "\n";
        out += "        BAUDRATE " + std::to_string(config.bitrate) + "\n";
        out += "      /end XCP_ON_CAN\n";
    } else {
        out += "      /begin XCP_ON_UDP_IP\n";
        out += "        0x0100 " + std::to_string(config.port) + "\n";
        if (!config.address.empty()) {
            out += "        ADDRESS " + vk::tool::quoted(config.address) + "\n";
        } else if (!config.hostName.empty()) {
            out += "        HOST_NAME " + vk::tool::quoted(config.hostName) + "\n";
        }
        out += "      /end XCP_ON_UDP_IP\n";
    }
}

}  // namespace

EventCycle eventCycle(const DaqEvent& event) {
    const std::uint32_t c = event.cycleMs;
    if (c == 0) return {0, 0};
    if (c <= 255) return {c, 6};
    if (c <= 2559) return {c / 10, 7};
    if (c <= 25599) return {c / 100, 8};
    // Longer cycles go in seconds (time unit 9) while they fit the byte.
    if (c / 1000 <= kMaxByte) return {c / 1000, 9};
    outOfRange("cycleMs of event '" + event.name + "'", c, kMaxCycleMs);
}

void writeIfDataXcp(std::string& out, const Json& xcp, const std::vector<DaqEvent>& events, bool littleEndian,
                    ListWarnings& warnings) {
    const XcpConfig config = readXcp(xcp, !events.empty(), warnings);
    out += "    /begin IF_DATA XCP\n";
    writeProtocolLayer(out, config, littleEndian);
    if (!events.empty()) writeDaq(out, config, events);
    writeTransport(out, config);
    out += "    /end IF_DATA\n";
}

}  // namespace vk::tool
