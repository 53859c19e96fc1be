// Cutting raw X12 interchanges into segments, shared by the reader's and the
// checker's splitters.
//
// Shared by both splitters (they behave alike here):
// - detectHeader(): separators from the ISA header block, 80-column unwrapping;
// - findTrailerIEA(): the IEA at the end of the file (after the GE closing the
//   last group), read with small reads at the end of the file;
// - SegmentCutter: reads the input in 2000-byte blocks, drops transport bytes
//   before the first ISA, reads each ISA's terminator from the raw text, removes
//   line breaks that are not the terminator from each segment, hands each
//   segment to a handler and, after an IEA, skips to the next ISA;
//   findInterchangeIEA() looks ahead for the IEA closing the current interchange;
// - TimestampFileNamer: 17-digit local time-stamp names, files created
//   exclusively (a taken name moves on to the next millisecond);
// - partnerNamePart(): a partner directory name part that cannot leave the
//   working directory.
// What each splitter does with a segment (work file, group or parsed file,
// directory layout) stays in its own SegmentCutter::Handler.
//
// Where cutting is sturdier than taking the input text at face value, so that
// nothing of a usable interchange is lost or misread:
// - zero bytes are dropped one by one, never with the rest of their block;
// - a segment that a block boundary cuts is completed from the next block
//   instead of ending the input; one longer than kMaxSegmentLength is an error,
//   never a silent end of the input;
// - a last segment without terminator is still cut;
// - lines wrapped at 80 columns unwrap with CR LF or LF alike;
// - only whole envelope tags count: STC or GSX are body segments.
// - each interchange of a file is cut with its own terminator, read from its
//   own ISA before anything of it is filtered, not with the first one's.
#pragma once

#include "edi/file_util.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pelldrake::edi {

inline constexpr std::size_t kReadBlockSize = 2000;
// While fewer characters than this remain uncut, the next block is read first.
inline constexpr std::size_t kRefillThreshold = 1000;
// A segment longer than this without a terminator stops the input with an error
// (keeps memory bounded on garbage input).
inline constexpr std::size_t kMaxSegmentLength = 1u << 20;

// The ISA segment has fixed-width elements, so its separators stand at fixed
// places, counted from its "I" without line breaks.
inline constexpr std::string_view kIsaTag = "ISA";
inline constexpr std::size_t kIsaLength = 106;                // terminator included
inline constexpr std::size_t kIsaElementSeparatorAt = 3;      // right after the tag
inline constexpr std::size_t kIsaRepetitionSeparatorAt = 82;  // ISA11
inline constexpr std::size_t kIsaControlNumberAt = 90;        // ISA13
inline constexpr std::size_t kIsaControlNumberLength = 9;
inline constexpr std::size_t kIsaComponentSeparatorAt = 104;  // ISA16, the sub-element separator
inline constexpr std::size_t kIsaTerminatorAt = 105;          // also the length without terminator
inline constexpr int kIsaElementCount = 16;
// Interchanges wrapped into lines are wrapped at this many columns.
inline constexpr std::size_t kWrapColumns = 80;

// The separator line of a group file: the character as a signed 8-bit number.
std::string separatorCode(char c);

// True when segment begins with tag and the tag ends there (end of text or a
// character that cannot belong to a tag), so "STC" is not "ST".
bool hasTag(std::string_view segment, std::string_view tag);

// The record kind a group file line opens: "ISA", "GS", "IEA", "GE" or "ST",
// or nullptr for a line that continues the record before it. The tag must end
// where the kind does, so a status segment STC does not open a transaction set.
const char *envelopeKind(std::string_view line);

// Removes blanks and control characters at both ends.
std::string_view trimControls(std::string_view s);

// ISA16 of an ISA segment: the character after its 16th element separator;
// empty when the segment has none.
std::string subElementSeparatorOf(std::string_view isa, char elementSeparator);

// One part (sender, receiver, code) of a partner directory name: path
// separators, drive colons, control characters and ".." removed.
std::string partnerNamePart(std::string_view s);

// Appends in to out, leaving out zero bytes, line feeds unless the terminator is
// a line feed, and carriage returns unless the terminator is a carriage return.
void appendFiltered(std::string &out, std::string_view in, char terminator);

struct InterchangeHeader {
    char terminator = 0;
    char elementSeparator = 0;
    bool unwrapped = false;
    std::string isaText; // the ISA segment without its terminator
};

// Separators of the interchange from the first block of the input. Returns
// nothing when the block holds no "ISA" or the ISA header is shorter than
// kIsaLength characters.
std::optional<InterchangeHeader> detectHeader(std::string_view headerBlock);

// The IEA segment at the end of the file, with its terminator; empty when none.
std::string findTrailerIEA(std::FILE *in, char terminator, char elementSeparator);

// The segment terminator of the ISA at the start of raw (uncut, unfiltered)
// text: the character after ISA16, counting the ISA's kIsaTerminatorAt
// characters without line breaks; a line feed (or a lone carriage return)
// when the segment ends with a line break. Nothing when raw is too short to
// tell (atEnd: no more text will come) or holds no ISA header.
std::optional<char> terminatorOfISA(std::string_view raw, bool atEnd);

class SegmentCutter {
public:
    enum class Action {
        Next,      // segment handled: remove it and go on
        SkipToISA, // remove it, then drop everything up to the next "ISA"
        Stop,      // end this input
    };
    class Handler {
    public:
        virtual ~Handler() = default;
        // segment: the text up to and including the terminator, with the line
        // breaks that are not the terminator and zero bytes removed. At an ISA
        // the cutter's terminator() is already this interchange's.
        virtual Action segment(std::string_view segment) = 0;
    };

    SegmentCutter(std::FILE *in, std::filesystem::path path, char terminator);

    char terminator() const { return terminator_; }

    // Cuts the whole input from its start. False when the input could not be
    // read to its end or holds a segment longer than kMaxSegmentLength; error()
    // then says why (the segments before were handed over).
    bool run(Handler &handler);
    const std::string &error() const { return error_; }

    enum class Lookahead { Found, NextInterchange, EndOfInput };
    // Looks ahead from the current segment for the IEA of this interchange.
    // Found: iea holds it without terminator. NextInterchange: an ISA came first.
    // EndOfInput: neither before the end. The cutting position is not moved.
    Lookahead findInterchangeIEA(char elementSeparator, std::string &iea) const;

private:
    // run() is a state machine: each state has a function below that does its
    // work and returns the next state.
    enum class State {
        SeekingISA, // drop text up to the next "ISA" (transport bytes, text after an IEA)
        AtSegment,  // between segments: skip dropped bytes; an ISA brings its terminator
        Cutting,    // cut the segment at start_ and hand it over
        Reading,    // read the next block and resume; the input ends after a short block
        Done,       // the input is cut, or failed (error_ says why)
    };
    State seekISA();
    State atSegment();
    State cut(Handler &handler);
    State readMore();
    // The transition to Reading: once the next block is held, go on in resume.
    State needInput(State resume)
    {
        resume_ = resume;
        return State::Reading;
    }

    // Where the segment at start_ ends (the index of its terminator, npos while
    // held_ holds none); clean: the segment holds nothing filtering drops.
    struct SegmentEnd {
        std::size_t terminator;
        bool clean;
    };
    SegmentEnd findSegmentEnd() const;
    // The input ends in a segment without terminator: it is cut all the same.
    void cutUnterminated(Handler &handler);
    // The segment at start_ is longer than kMaxSegmentLength: error_ says where.
    void failSegmentTooLong();
    bool readBlock();
    bool dropToISA();
    void setTerminator(char t)
    {
        terminator_ = t;
        noTermBefore_ = 0;
    }
    void fail(std::string message);
    // raw without the bytes filtering drops (a view of raw when there are none).
    std::string_view filtered(std::string_view raw);

    std::FILE *in_;
    std::filesystem::path path_;
    char terminator_;
    // The raw text read but not yet cut; segments are filtered one by one, so a
    // later interchange's line breaks are still there when its ISA is read.
    std::string held_;
    std::string scratch_;
    std::string error_;
    std::size_t start_ = 0;
    std::size_t noTermBefore_ = 0; // held_ before this index holds no terminator
    State resume_ = State::SeekingISA;
    bool lastFull_ = false; // the last block read was full: more input may follow
    std::uint64_t readOffset_ = 0;
    std::uint64_t heldOffset_ = 0; // file offset of held_[0]
};

// The IEA that closes the interchange being cut, without its terminator, looked
// up once per interchange: its own IEA when one follows before the next ISA,
// none when the next interchange comes first, and the IEA at the end of the
// file (the trailer) when the input ends before either.
class InterchangeIEA {
public:
    explicit InterchangeIEA(std::string trailerWithTerminator) : m_trailer(std::move(trailerWithTerminator)) {}
    // A new interchange begins: look again when next asked.
    void reset() { m_known = false; }
    const std::string &get(const SegmentCutter &cutter, char elementSeparator);

private:
    std::string m_trailer;
    std::string m_iea;
    bool m_known = false;
};

// Creates files named "yyyymmddhhnnsszzz.edi" (local time) exclusively; names
// are unique and increase in writing order within one namer.
class TimestampFileNamer {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // clock: where "now" comes from (the system clock unless a test sets one).
    explicit TimestampFileNamer(Clock clock = {}) : clock_(std::move(clock)) {}
    // Creates the file in dir and returns its path with the open stream in out.
    std::filesystem::path create(const std::filesystem::path &dir, FilePtr &out);
    static std::string format(std::chrono::system_clock::time_point t);

private:
    Clock clock_;
    std::int64_t lastMillis_ = 0;
};

} // namespace pelldrake::edi
