#pragma once
// Functional acknowledgments (997, 999) and interchange acknowledgments (TA1)
// for received X12 files, read as a stream: memory holds one interchange's
// answers, not the file.
//
// The faults are those the checker finds, with the same rules
// (edi/type_rules.h), mapped to the acknowledgment codes:
//   set:   SE01 count AK502 4, ST02 <> SE02 3, no SE 2, ST02 twice in the
//          group 23, element faults 5 with an AK3 (AK304 8) and an AK4 per
//          element (AK403 4/5 length, 6 character or number, 8 date, 9 time);
//          any of them rejects the set (AK501 R)
//   group: GE01 count AK905 5, GS06 <> GE02 4, no GE 3; GS04 date 30,
//          GS05 time 31, GS06 not a number of 1 to 9 digits 6
//   interchange (TA105): ISA13 <> IEA02 001, IEA01 count 021, no IEA 023,
//          ISA13 received before from the same sender 025; ISA09 date 014,
//          ISA10 time 015, ISA13 not nine digits 018
// Every fault is reported, never only the first.
//
// The answer to an interchange: an ISA with the sender and receiver swapped
// (ISA11, ISA12, ISA15 and the separators copied, ISA14 0), its TA1 (when
// asked for by ISA14 = 1, or for an envelope fault; --ta1 decides) before the
// first GS, then one FA group per received application sender and receiver
// (and answer version), holding one 997 or 999 per received group. Groups
// with GS01 = FA are never answered; a duplicate interchange gets its TA1
// (R 025) only.
#include "edi/type_rules.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelldrake::edi {

enum class AckKind { Auto, Fa997, Fa999 };
enum class AckDetail { Group, Sets, Errors, Full };
enum class Ta1Mode { Auto, Always, Never };

// The implementation convention of the 999 (GS08 and ST03).
inline constexpr const char *k999Version = "005010X231A1";

struct AckOptions {
    AckKind kind = AckKind::Auto;
    AckDetail detail = AckDetail::Errors;
    Ta1Mode ta1 = Ta1Mode::Auto;
    std::vector<TypeRule> rules = defaultTypeRules();
    // The answer's date and time (ISA09/10, GS04/05); the clock when unset.
    std::function<std::time_t()> clock;
};

// Where the answers' control numbers come from and where the received ones
// are remembered. partner: the received sender, "qualifier/ID".
class AckNumbering {
public:
    virtual ~AckNumbering() = default;
    // The next ISA13 / GS06 for answers to partner; never handed out twice.
    virtual std::int64_t nextInterchange(const std::string &partner) = 0;
    virtual std::int64_t nextGroup(const std::string &partner) = 0;
    // True when isa13 from partner was received (and answered) before.
    virtual bool receivedBefore(const std::string &partner, const std::string &isa13) = 0;
    // Remembers isa13 from partner, once its answer is written: a run
    // stopped before that leaves it to be answered again.
    virtual void remember(const std::string &partner, const std::string &isa13) = 0;
};

// The X12 cannot be answered at all: not X12, or an ISA no TA1 can be formed from.
class AckInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct AckGroupSummary {
    std::string functionalId, control, version;   // GS01, GS06, GS08 received
    char status = 'A';                            // AK901
    int declared = 0, received = 0, accepted = 0; // AK902..AK904
    std::vector<std::string> groupCodes;          // AK905..
    bool answered = true;                         // false for FA groups
};

// One received interchange and its answer.
struct AckInterchange {
    std::string sender, receiver;          // "qualifier/ID" as received
    std::string control;                   // ISA13 received
    std::string ta1Code;                   // TA105, empty without TA1
    char ta1Status = 0;                    // TA104
    std::string ackControl;                // ISA13 of the answer, empty without one
    std::string kinds;                     // "997", "999" or both
    std::vector<AckGroupSummary> groups;
    std::vector<std::string> findings;     // every fault, as text
    std::string text;                      // the answer; empty when there is nothing to answer
    bool faulty() const;                   // anything rejected or noted
};

// Reads the X12 file and hands each interchange's answer to onInterchange as
// soon as its IEA (or the end of the interchange) is read; once that returns,
// the interchange's control number is remembered. Throws
// AckInputError when the file holds no X12 or its first ISA cannot be read,
// FileError when it cannot be read; an unreadable later ISA ends the file
// with AckInputError after the interchanges before it were handed over.
void acknowledgeFile(std::FILE *in, const std::string &name, const AckOptions &options, AckNumbering &numbering,
                     const std::function<void(AckInterchange &)> &onInterchange);

} // namespace pelldrake::edi
