#pragma once

#include <cstddef>
#include <cstdint>

// A text field inside the received block; not NUL-terminated, valid only as long as the block.
struct TextSpan
{
    const char *pText = nullptr;
    uint16_t nLength = 0;
};

// The fields of one reply line. Reused line after line without clearing; a handler reads only
// the fields its kind's chain wrote.
struct ResponseFields
{
    uint32_t n0 = 0;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    uint32_t n3 = 0;
    TextSpan span;
};

// The fourteen calls the scanner makes, one per recognised kind plus one for every other line.
class IResponseHandler
{
public:
    virtual ~IResponseHandler() = default;
    virtual void OnResponseOk() = 0;
    virtual void OnResponseError() = 0;
    virtual void OnResponseIgnored(const ResponseFields &fields) = 0; // +LED, +ADDR, +BINDADDR
    virtual void OnResponseAuth(const ResponseFields &fields) = 0;
    virtual void OnResponseBaud(const ResponseFields &fields) = 0;
    virtual void OnResponseBind(const ResponseFields &fields) = 0;
    virtual void OnResponseName(const ResponseFields &fields) = 0;
    virtual void OnResponseRole(const ResponseFields &fields) = 0;
    virtual void OnResponseScan(const ResponseFields &fields) = 0; // n0..n3 in wire order
    virtual void OnResponseClass(const ResponseFields &fields) = 0;
    // n0 attempt, n1 maximum, n2 minimum, n3 timeout
    virtual void OnResponseSniff(const ResponseFields &fields) = 0;
    virtual void OnResponseVersion(const ResponseFields &fields) = 0;
    virtual void OnResponsePassword(const ResponseFields &fields) = 0;
    // Any other segment of two or more bytes, framing included.
    virtual void OnOtherLine(const char *pLine, uint16_t nLength) = 0;
};

// The most bytes one scan can take: lengths and consumed counts are 16 bits wide.
constexpr size_t SCAN_BLOCK_MAX_BYTES = 0xFFFF;

// Scans a block and dispatches every complete line to pHandler, in order. Only the low 16 bits of
// nLength count. Returns how many bytes from the start were consumed: everything before the
// first line that has not fully arrived. A null pHandler consumes lines without dispatching them.
uint16_t ScanResponses(IResponseHandler *pHandler, const char *pData, size_t nLength);

// The loop behind ScanResponses; returns the first byte not consumed (end when all was).
const char *ScanSegments(IResponseHandler *pHandler, const char *begin, const char *end);

// End (one past the last byte) of the segment that starts at p, or null when it is incomplete.
const char *NextSegment(const char *p, const char *end);

// Field parsers. A null p passes straight through as null, so a chain fails at its first failure.
const char *ParseNumber(const char *p, const char *end, uint32_t *pValue);
const char *SkipSeparator(const char *p, const char *end);
const char *ExpectLineEnd(const char *p, const char *end);
const char *SkipQuote(const char *p, const char *end);
const char *SkipBlanks(const char *p, const char *end);
const char *ParseText(const char *p, const char *end, TextSpan *pSpan);

// Keyword recogniser: runs the state table from p. Returns the ResponseKind (negative) and sets
// *pAfter to the first byte after the keyword, or returns 0 when the line does not match.
int32_t MatchKeyword(const char *p, const char *end, const char **pAfter);

constexpr int KEYWORD_TRANSITION_COUNT = 117;
constexpr int KEYWORD_STATE_COUNT = 77;

struct KeywordTransition
{
    int32_t nChar;      // only the low byte is compared
    int32_t nNextState; // >= 0 a state, < 0 the ResponseKind that ends the match
};

extern const KeywordTransition KeywordTransitions[KEYWORD_TRANSITION_COUNT];
extern const KeywordTransition *const KeywordStates[KEYWORD_STATE_COUNT + 1];
