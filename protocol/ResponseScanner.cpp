#include "protocol/ResponseScanner.h"

#include "protocol/AtProtocol.h"

#include <cstring>
#include <iterator>

namespace {

constexpr int32_t TAB = '\t';
constexpr int32_t LF = '\n';
constexpr int32_t CR = '\r';
constexpr int32_t SP = ' ';

} // namespace

// The keyword recogniser, state after state; a negative target is the ResponseKind it ends in.
// clang-format off
constexpr KeywordTransition KeywordTransitions[KEYWORD_TRANSITION_COUNT] = {
    {TAB, 0}, {LF, 1}, {CR, 1}, {SP, 0},                                       // 0
    {LF, 2}, {CR, 2},                                                          // 1
    {TAB, 3}, {SP, 3}, {'+', 4}, {'E', 5}, {'O', 6},                           // 2
    {TAB, 3}, {SP, 3}, {'+', 7},                                               // 3
    {'A', 8}, {'B', 9}, {'C', 10}, {'L', 11}, {'N', 12},                       // 4
    {'P', 13}, {'R', 14}, {'S', 15}, {'V', 16},                                // 4
    {'R', 17},                                                                 // 5
    {'K', 18},                                                                 // 6
    {'A', 19}, {'B', 20},                                                      // 7
    {'D', 21}, {'U', 22},                                                      // 8
    {'A', 23}, {'I', 24},                                                      // 9
    {'L', 25},                                                                 // 10
    {'E', 26},                                                                 // 11
    {'A', 27},                                                                 // 12
    {'A', 28},                                                                 // 13
    {'O', 29},                                                                 // 14
    {'C', 30}, {'N', 31},                                                      // 15
    {'E', 32},                                                                 // 16
    {'R', 33},                                                                 // 17
    {LF, 34}, {CR, 34},                                                        // 18
    {'D', 21},                                                                 // 19
    {'I', 35},                                                                 // 20
    {'D', 36},                                                                 // 21
    {'T', 37},                                                                 // 22
    {'U', 38},                                                                 // 23
    {'N', 39},                                                                 // 24
    {'A', 40},                                                                 // 25
    {'D', 41},                                                                 // 26
    {'M', 42},                                                                 // 27
    {'S', 43},                                                                 // 28
    {'L', 44},                                                                 // 29
    {'A', 45},                                                                 // 30
    {'I', 46},                                                                 // 31
    {'R', 47},                                                                 // 32
    {'O', 48},                                                                 // 33
    {LF, RK_OK}, {CR, RK_OK},                                                  // 34
    {'N', 49},                                                                 // 35
    {'R', 50},                                                                 // 36
    {'H', 51},                                                                 // 37
    {'D', 52},                                                                 // 38
    {'D', 53},                                                                 // 39
    {'S', 54},                                                                 // 40
    {':', RK_LED}, {'=', RK_LED},                                              // 41
    {'E', 55},                                                                 // 42
    {'S', 56},                                                                 // 43
    {'E', 57},                                                                 // 44
    {'N', 58},                                                                 // 45
    {'F', 59},                                                                 // 46
    {'S', 60},                                                                 // 47
    {'R', 61},                                                                 // 48
    {'D', 62},                                                                 // 49
    {':', RK_ADDR}, {'=', RK_ADDR},                                            // 50
    {':', RK_AUTH}, {'=', RK_AUTH},                                            // 51
    {':', RK_BAUD}, {'=', RK_BAUD},                                            // 52
    {':', RK_BIND}, {'=', RK_BIND}, {'A', 63},                                 // 53
    {'S', 64},                                                                 // 54
    {':', RK_NAME}, {'=', RK_NAME},                                            // 55
    {'W', 65},                                                                 // 56
    {':', RK_ROLE}, {'=', RK_ROLE},                                            // 57
    {':', RK_SCAN}, {'=', RK_SCAN},                                            // 58
    {'F', 66},                                                                 // 59
    {'I', 67},                                                                 // 60
    {LF, 68}, {CR, 68},                                                        // 61
    {'A', 63},                                                                 // 62
    {'D', 69},                                                                 // 63
    {':', RK_CLASS}, {'=', RK_CLASS},                                          // 64
    {'O', 70},                                                                 // 65
    {':', RK_SNIFF}, {'=', RK_SNIFF},                                          // 66
    {'O', 71},                                                                 // 67
    {LF, RK_ERROR}, {CR, RK_ERROR},                                            // 68
    {'D', 72},                                                                 // 69
    {'R', 73},                                                                 // 70
    {'N', 74},                                                                 // 71
    {'R', 75},                                                                 // 72
    {'D', 76},                                                                 // 73
    {':', RK_VERSION}, {'=', RK_VERSION},                                      // 74
    {':', RK_BINDADDR}, {'=', RK_BINDADDR},                                    // 75
    {':', RK_PASSWORD}, {'=', RK_PASSWORD},                                    // 76
};
// clang-format on

namespace {

// How many transitions each state owns, in state order; the state index is built from it.
constexpr int kStateTransitionCounts[KEYWORD_STATE_COUNT] = {
    4, 2, 5, 3, 9, 1, 1, 2, 2, 2, // 0-9
    1, 1, 1, 1, 1, 2, 1, 1, 2, 1, // 10-19
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // 20-29
    1, 1, 1, 1, 2, 1, 1, 1, 1, 1, // 30-39
    1, 2, 1, 1, 1, 1, 1, 1, 1, 1, // 40-49
    2, 2, 2, 3, 1, 2, 1, 2, 2, 1, // 50-59
    1, 2, 1, 1, 2, 1, 2, 1, 2, 1, // 60-69
    1, 1, 1, 1, 2, 2, 2,          // 70-76
};

constexpr int StateOffset(int nState)
{
    int nOffset = 0;
    for (int i = 0; i < nState; ++i)
        nOffset += kStateTransitionCounts[i];
    return nOffset;
}

// Every entry is a real transition (a zero character would mean a row was left out), and the
// counts cover the table exactly.
constexpr bool TransitionTableIsWhole()
{
    for (const KeywordTransition &t : KeywordTransitions) {
        if (t.nChar == 0 || t.nNextState >= KEYWORD_STATE_COUNT || t.nNextState < RK_PASSWORD)
            return false;
    }
    return StateOffset(KEYWORD_STATE_COUNT) == KEYWORD_TRANSITION_COUNT;
}
static_assert(TransitionTableIsWhole());

} // namespace

namespace {

constexpr const KeywordTransition *StateBegin(int nState)
{
    return KeywordTransitions + StateOffset(nState);
}

} // namespace

// State s owns the entries from KeywordStates[s] up to KeywordStates[s + 1].
// clang-format off
const KeywordTransition *const KeywordStates[KEYWORD_STATE_COUNT + 1] = {
    StateBegin(0), StateBegin(1), StateBegin(2), StateBegin(3), StateBegin(4),
    StateBegin(5), StateBegin(6), StateBegin(7), StateBegin(8), StateBegin(9),
    StateBegin(10), StateBegin(11), StateBegin(12), StateBegin(13), StateBegin(14),
    StateBegin(15), StateBegin(16), StateBegin(17), StateBegin(18), StateBegin(19),
    StateBegin(20), StateBegin(21), StateBegin(22), StateBegin(23), StateBegin(24),
    StateBegin(25), StateBegin(26), StateBegin(27), StateBegin(28), StateBegin(29),
    StateBegin(30), StateBegin(31), StateBegin(32), StateBegin(33), StateBegin(34),
    StateBegin(35), StateBegin(36), StateBegin(37), StateBegin(38), StateBegin(39),
    StateBegin(40), StateBegin(41), StateBegin(42), StateBegin(43), StateBegin(44),
    StateBegin(45), StateBegin(46), StateBegin(47), StateBegin(48), StateBegin(49),
    StateBegin(50), StateBegin(51), StateBegin(52), StateBegin(53), StateBegin(54),
    StateBegin(55), StateBegin(56), StateBegin(57), StateBegin(58), StateBegin(59),
    StateBegin(60), StateBegin(61), StateBegin(62), StateBegin(63), StateBegin(64),
    StateBegin(65), StateBegin(66), StateBegin(67), StateBegin(68), StateBegin(69),
    StateBegin(70), StateBegin(71), StateBegin(72), StateBegin(73), StateBegin(74),
    StateBegin(75), StateBegin(76), StateBegin(77),
};
// clang-format on

namespace {

// ASCII only, on purpose: the C library's classes follow the process locale (Qt sets it from the
// environment), and a byte of 128 or more must end a field whatever the locale says.
bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

struct STextBytes
{
    bool bText[256] = {};
};

constexpr STextBytes BuildTextBytes()
{
    STextBytes t;
    for (int c = 0; c < 256; ++c)
        t.bText[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    for (const char c : {' ', '#', '*', '+', '-', '.', '^', '_'})
        t.bText[static_cast<unsigned char>(c)] = true;
    return t;
}

constexpr STextBytes kTextBytes = BuildTextBytes();

bool IsTextByte(unsigned char c)
{
    return kTextBytes.bText[c];
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The keyword table unrolled to one entry per state and byte class, with a-z folded onto A-Z, so
// a step is two loads of which only one waits for the previous step. Bytes the table never names
// share class 0, which has no transition; the table then stays a few kilobytes and in the L1
// cache, where one row per byte value (39 KB) would not. Derived at compile time from
// KeywordTransitions: the first matching entry in stored order wins, and an entry for a
// lower-case byte never matches, as in a linear search of the state's transitions.
constexpr int16_t NO_TRANSITION = INT16_MAX;
constexpr int KEYWORD_CLASS_COUNT = 32; // distinct bytes of the table, plus "none"

struct SKeywordClasses
{
    uint8_t nClass[256] = {};
    int nCount = 1;
};

constexpr SKeywordClasses BuildKeywordClasses()
{
    SKeywordClasses t;
    for (const KeywordTransition &tr : KeywordTransitions) {
        const int c = tr.nChar & 0xFF;
        if (t.nClass[c] == 0)
            t.nClass[c] = static_cast<uint8_t>(t.nCount++);
    }
    for (int c = 'a'; c <= 'z'; ++c)
        t.nClass[c] = t.nClass[c - 32];
    return t;
}

constexpr SKeywordClasses kKeywordClasses = BuildKeywordClasses();
static_assert(kKeywordClasses.nCount <= KEYWORD_CLASS_COUNT);

struct SDenseKeywordTable
{
    int16_t nStep[KEYWORD_STATE_COUNT * KEYWORD_CLASS_COUNT] = {};
};

constexpr SDenseKeywordTable BuildDenseKeywordTable()
{
    SDenseKeywordTable t;
    for (int s = 0; s < KEYWORD_STATE_COUNT; ++s) {
        int16_t *pRow = t.nStep + s * KEYWORD_CLASS_COUNT;
        for (int c = 0; c < KEYWORD_CLASS_COUNT; ++c)
            pRow[c] = NO_TRANSITION;
        for (int i = StateOffset(s + 1) - 1; i >= StateOffset(s); --i) {
            const KeywordTransition &tr = KeywordTransitions[i];
            const int32_t nNext = tr.nNextState;
            const int nClass = kKeywordClasses.nClass[tr.nChar & 0xFF];
            // A lower-case entry's class is taken by its upper-case letter: it can never match.
            if (tr.nChar >= 'a' && tr.nChar <= 'z')
                continue;
            pRow[nClass] = static_cast<int16_t>(nNext >= 0 ? nNext * KEYWORD_CLASS_COUNT : nNext);
        }
        pRow[0] = NO_TRANSITION;
    }
    return t;
}

constexpr SDenseKeywordTable kDenseKeywords = BuildDenseKeywordTable();
static_assert(kDenseKeywords.nStep[kKeywordClasses.nClass[int{'\r'}]] == KEYWORD_CLASS_COUNT &&
              kDenseKeywords.nStep[KEYWORD_CLASS_COUNT + kKeywordClasses.nClass[int{'\n'}]] ==
                  2 * KEYWORD_CLASS_COUNT);

} // namespace

// "1024" -> 1024. Wraps modulo 2^32 on purpose: the module never sends that many digits, and an
// unsigned accumulator keeps a garbled line from being undefined behaviour.
const char *ParseNumber(const char *p, const char *end, uint32_t *pValue)
{
    if (p == nullptr)
        return nullptr;
    const char *q = p;
    uint32_t nValue = 0;
    for (; q < end && IsDigit(static_cast<unsigned char>(*q)); ++q)
        nValue = nValue * 10u + static_cast<uint32_t>(*q - '0');
    *pValue = nValue;
    return q == p ? nullptr : q;
}

const char *SkipSeparator(const char *p, const char *end)
{
    if (p != nullptr && p < end && (*p == ',' || *p == ';'))
        return p + 1;
    return p;
}

const char *ExpectLineEnd(const char *p, const char *end)
{
    if (p != nullptr && p < end && IsLineEnd(*p))
        return p + 1;
    return nullptr;
}

const char *SkipQuote(const char *p, const char *end)
{
    if (p != nullptr && p < end && *p == '"')
        return p + 1;
    return p;
}

const char *SkipBlanks(const char *p, const char *end)
{
    if (p == nullptr)
        return nullptr;
    while (p < end && IsBlank(*p))
        ++p;
    return p;
}

// "Abc", "\"My Dev\"", "\"Abc" -> the text without its quotes. An empty text passes only when a
// "," follows, which no reply's line end accepts.
const char *ParseText(const char *p, const char *end, TextSpan *pSpan)
{
    *pSpan = TextSpan{};
    if (p == nullptr)
        return nullptr;
    const char *r = SkipQuote(p, end);
    const char *q = r;
    while (q < end && IsTextByte(static_cast<unsigned char>(*q)))
        ++q;
    if (q != r) {
        *pSpan = TextSpan{r, static_cast<uint16_t>(q - r)};
        return SkipQuote(q, end);
    }
    const char *pAfter = SkipQuote(r, end);
    return (pAfter < end && *pAfter == ',') ? pAfter : nullptr;
}

namespace {

// Runs to the end of the block, not of the segment: the line ends belong to the keyword of "OK"
// and "ERROR".
inline int32_t MatchKeywordAt(const char *p, const char *end, const char **pAfter)
{
    int32_t nRow = 0;
    // Every framed line opens with CR LF, which always leads from state 0 to state 2.
    if (end - p >= 2 && p[0] == '\r' && p[1] == '\n') {
        nRow = 2 * KEYWORD_CLASS_COUNT;
        p += 2;
    }
    while (p < end) {
        const int32_t nClass = kKeywordClasses.nClass[static_cast<unsigned char>(*p++)];
        const int32_t nStep = kDenseKeywords.nStep[nRow + nClass];
        if (nStep < 0) {
            *pAfter = p;
            return nStep;
        }
        if (nStep == NO_TRANSITION)
            return 0;
        nRow = nStep;
    }
    return 0;
}

} // namespace

int32_t MatchKeyword(const char *p, const char *end, const char **pAfter)
{
    const char *pLocal = nullptr;
    const int32_t nKind = MatchKeywordAt(p, end, &pLocal);
    if (nKind != 0 && pAfter != nullptr)
        *pAfter = pLocal;
    return nKind;
}

namespace {

// "\r\n...\r\n": a CR-framed line runs through the first CR LF after its opening pair.
const char *NextFramedSegment(const char *s, const char *end)
{
    if (end - s < 4)
        return nullptr;
    if (s[1] != '\n')
        return s + 1;
    const auto *cr = static_cast<const char *>(std::memchr(s + 2, '\r', end - (s + 2)));
    if (cr == nullptr || cr + 1 == end)
        return nullptr;
    return cr[1] == '\n' ? cr + 2 : s + 1;
}

// "AT+NAME?\r": an unframed line runs through its first CR; blanks before a CR are single bytes.
const char *NextBareSegment(const char *s, const char *end)
{
    const char *p = SkipBlanks(s, end);
    if (p == end)
        return nullptr;
    if (*p == '\r')
        return s + 1;
    const auto *cr = static_cast<const char *>(std::memchr(p + 1, '\r', end - (p + 1)));
    return cr == nullptr ? nullptr : cr + 1;
}

inline const char *FindSegmentEnd(const char *p, const char *end)
{
    if (p == nullptr || p >= end)
        return nullptr;
    if (*p == '\n')
        return p + 1;
    if (*p == '\r')
        return NextFramedSegment(p, end);
    return NextBareSegment(p, end);
}

} // namespace

const char *NextSegment(const char *p, const char *end)
{
    return FindSegmentEnd(p, end);
}

namespace {

// Parse chains, one per field layout; each ends in the two line-end bytes the frame supplies.
const char *LineEnds(const char *p, const char *end)
{
    return ExpectLineEnd(ExpectLineEnd(p, end), end);
}

// "1" (AUTH, BAUD, BIND, ROLE)
const char *ParseOneNumber(const char *p, const char *end, ResponseFields *pFields)
{
    return LineEnds(ParseNumber(p, end, &pFields->n0), end);
}

// "12 " (BINDADDR)
const char *ParseNumberBlanks(const char *p, const char *end, ResponseFields *pFields)
{
    return LineEnds(SkipBlanks(ParseNumber(p, end, &pFields->n0), end), end);
}

// "1,2" (LED)
const char *ParseTwoNumbers(const char *p, const char *end, ResponseFields *pFields)
{
    p = SkipSeparator(ParseNumber(p, end, &pFields->n0), end);
    return LineEnds(ParseNumber(p, end, &pFields->n1), end);
}

// "1024,512;1024,512": four numbers, stored in the order the pointers give.
template <uint32_t ResponseFields::*First, uint32_t ResponseFields::*Second,
          uint32_t ResponseFields::*Third, uint32_t ResponseFields::*Fourth>
const char *ParseFourNumbers(const char *p, const char *end, ResponseFields *pFields)
{
    p = SkipSeparator(ParseNumber(p, end, &(pFields->*First)), end);
    p = SkipSeparator(ParseNumber(p, end, &(pFields->*Second)), end);
    p = SkipSeparator(ParseNumber(p, end, &(pFields->*Third)), end);
    return LineEnds(ParseNumber(p, end, &(pFields->*Fourth)), end);
}

// "Kestrel Dev" or "\"My Dev\"" (NAME, CLASS, VERSION, PASSWORD)
const char *ParseOneText(const char *p, const char *end, ResponseFields *pFields)
{
    return LineEnds(ParseText(p, end, &pFields->span), end);
}

// "a1 " (ADDR)
const char *ParseTextBlanks(const char *p, const char *end, ResponseFields *pFields)
{
    return LineEnds(SkipBlanks(ParseText(p, end, &pFields->span), end), end);
}

using FieldParser = const char *(*)(const char *, const char *, ResponseFields *);
using FieldHandler = void (IResponseHandler::*)(const ResponseFields &);

// A kind's field layout and the handler that takes its fields; "OK" and "ERROR" have neither.
struct SReplyGrammar
{
    FieldParser pfnParse = nullptr;
    FieldHandler pfnHandler = nullptr;
};

using F = ResponseFields;

// Indexed by -kind - 1. SNIFF stores its numbers as attempt, maximum, minimum, timeout.
// clang-format off
const SReplyGrammar kReplyGrammars[] = {
    {nullptr, nullptr},                                                           // OK
    {ParseTwoNumbers, &IResponseHandler::OnResponseIgnored},                      // LED
    {ParseTextBlanks, &IResponseHandler::OnResponseIgnored},                      // ADDR
    {ParseOneNumber, &IResponseHandler::OnResponseAuth},
    {ParseOneNumber, &IResponseHandler::OnResponseBaud},
    {ParseOneNumber, &IResponseHandler::OnResponseBind},
    {ParseOneText, &IResponseHandler::OnResponseName},
    {ParseOneNumber, &IResponseHandler::OnResponseRole},
    {ParseFourNumbers<&F::n0, &F::n1, &F::n2, &F::n3>, &IResponseHandler::OnResponseScan},
    {ParseOneText, &IResponseHandler::OnResponseClass},
    {ParseFourNumbers<&F::n1, &F::n2, &F::n0, &F::n3>, &IResponseHandler::OnResponseSniff},
    {nullptr, nullptr},                                                           // ERROR
    {ParseOneText, &IResponseHandler::OnResponseVersion},
    {ParseNumberBlanks, &IResponseHandler::OnResponseIgnored},                    // BINDADDR
    {ParseOneText, &IResponseHandler::OnResponsePassword},
};
// clang-format on
static_assert(std::size(kReplyGrammars) == static_cast<size_t>(-RK_PASSWORD));

// True when the segment was a recognised reply whose fields parsed and went to its handler.
bool DispatchReply(IResponseHandler *pHandler, const char *seg, const char *end,
                   ResponseFields *pFields)
{
    const char *pAfter = nullptr;
    const int32_t nKind = MatchKeywordAt(seg, end, &pAfter);
    if (nKind == RK_OK)
        pHandler->OnResponseOk();
    else if (nKind == RK_ERROR)
        pHandler->OnResponseError();
    if (nKind == 0 || nKind == RK_OK || nKind == RK_ERROR)
        return nKind != 0;
    const SReplyGrammar &grammar = kReplyGrammars[-nKind - 1];
    if (grammar.pfnParse(pAfter, end, pFields) == nullptr)
        return false;
    (pHandler->*grammar.pfnHandler)(*pFields);
    return true;
}

} // namespace

const char *ScanSegments(IResponseHandler *pHandler, const char *begin, const char *end)
{
    // Reused line after line: a handler reads only what its kind's grammar wrote.
    ResponseFields fields;
    const char *seg = begin;
    for (const char *r = FindSegmentEnd(seg, end); r != nullptr;
         seg = r, r = FindSegmentEnd(seg, end)) {
        // Stray LFs, lone CRs and blanks in front of a line's CR LF are dropped.
        if (r - seg < 2 || pHandler == nullptr)
            continue;
        if (!DispatchReply(pHandler, seg, end, &fields))
            pHandler->OnOtherLine(seg, static_cast<uint16_t>(r - seg));
    }
    return seg;
}

uint16_t ScanResponses(IResponseHandler *pHandler, const char *pData, size_t nLength)
{
    const size_t nCounted = nLength & 0xFFFFu;
    if (pData == nullptr || nCounted == 0)
        return 0;
    return static_cast<uint16_t>(ScanSegments(pHandler, pData, pData + nCounted) - pData);
}
