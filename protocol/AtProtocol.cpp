#include "protocol/AtProtocol.h"

// Slots are zero-filled past each command's NUL, so a slot can be written out as a fixed record.
const char QueryCommandTable[QUERY_COMMAND_COUNT][QUERY_COMMAND_SLOT_SIZE] = {
    "AT\r\n",           "AT+NAME?\r\n",  "AT+VERSION?\r\n",  "AT+CLASS?\r\n", "AT+ROLE?\r\n",
    "AT+BIND?\r\n",     "AT+AUTH?\r\n",  "AT+PASSWORD?\r\n", "AT+BAUD?\r\n",  "AT+UARTMODE?\r\n",
    "AT+SCANTIME?\r\n", "AT+SNIFF?\r\n", "AT+LADDR?\r\n",    "AT+RADDR?\r\n",
};

const char *const BaudRateList[BAUD_RATE_COUNT] = {
    "1200",  "2400",   "4800",   "9600",   "19200",  "38400",
    "57600", "115200", "230400", "460800", "921600", "1382400",
};
