#pragma once

#include <cstddef>
#include <cstdint>

// The module's AT command set: every command we write and every reply line we know, as data.

constexpr int QUERY_COMMAND_COUNT = 14;
constexpr int QUERY_COMMAND_SLOT_SIZE = 16;

// The query run sends these in this order, from index 0. Each is NUL-terminated in its slot.
extern const char QueryCommandTable[QUERY_COMMAND_COUNT][QUERY_COMMAND_SLOT_SIZE];

constexpr int QUERY_INDEX_RADDR = 13; // its "ERROR" means no remote address is bound

// Kind of a recognised reply line, as the keyword table yields it.
enum ResponseKind : int32_t {
    RK_OK = -1,
    RK_LED = -2,
    RK_ADDR = -3,
    RK_AUTH = -4,
    RK_BAUD = -5,
    RK_BIND = -6,
    RK_NAME = -7,
    RK_ROLE = -8,
    RK_SCAN = -9,
    RK_CLASS = -10,
    RK_SNIFF = -11,
    RK_ERROR = -12,
    RK_VERSION = -13,
    RK_BINDADDR = -14,
    RK_PASSWORD = -15,
};

// Set commands, formatted with the value text of a parameter (a list index or a switch state in
// decimal, a group's numbers joined by commas).
inline constexpr char CMD_SET_NAME[] = "AT+NAME=%s\r\n";
inline constexpr char CMD_SET_CLASS[] = "AT+CLASS=%s\r\n";
inline constexpr char CMD_SET_BAUD[] = "AT+BAUD=%s\r\n";
inline constexpr char CMD_SET_UARTMODE[] = "AT+UARTMODE=%s\r\n"; // stop-bit index,parity index
inline constexpr char CMD_SET_ROLE[] = "AT+ROLE=%s\r\n";
inline constexpr char CMD_SET_BIND[] = "AT+BIND=%s\r\n";
inline constexpr char CMD_SET_AUTH[] = "AT+AUTH=%s\r\n";
inline constexpr char CMD_SET_PASSWORD[] = "AT+PASSWORD=%s\r\n";
inline constexpr char CMD_SET_SCANTIME[] = "AT+SCANTIME=%s\r\n";
inline constexpr char CMD_SET_SNIFF[] = "AT+SNIFF=%s\r\n";
inline constexpr char CMD_SET_RADDR[] = "AT+RADDR=%s\r\n";

// Commands without arguments.
inline constexpr char CMD_RESET[] = "AT+RESET\r\n";         // restore factory defaults
inline constexpr char CMD_CLEARADDR[] = "AT+CLEARADDR\r\n"; // forget the bound remote address
inline constexpr char CMD_INQ[] = "AT+INQ\r\n";             // search for nearby devices

// Reply lines outside the keyword table, compared byte for byte with their framing.
inline constexpr char LINE_INQCOMP[] = "\r\n+INQCOMP\r\n";  // exactly these 12 bytes
inline constexpr char PREFIX_INQRESU[] = "\r\n+INQRESU:";   // 11 bytes
inline constexpr char PREFIX_LADDR[] = "\r\n+LADDR:";       // 9 bytes
inline constexpr char PREFIX_RADDR[] = "\r\n+RADDR:";       // 9 bytes
inline constexpr char PREFIX_UARTMODE[] = "\r\n+UARTMODE:"; // 12 bytes

constexpr size_t BLUETOOTH_ADDRESS_LENGTH = 12;

// The module's baud rates as the form lists them, ascending.
constexpr int BAUD_RATE_COUNT = 12;
extern const char *const BaudRateList[BAUD_RATE_COUNT];
