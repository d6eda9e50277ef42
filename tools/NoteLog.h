#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace horavox::board {

// Numbered notation as the board plays it: L1..L7 = 1..7, M1..M7 = 8..14, H1..H7 = 15..21.
// 0 ends a melody and is named "end"; any other code is named "?".
std::string NoteName(std::int32_t code);
// The pitch of a code in Hz, the major scale from C4 (L1), C5 (M1) and C6 (H1) in equal
// temperament; 0 for a code the board does not sound.
double NoteFrequency(std::int32_t code);

// Turns the bytes the program writes into codes (4 bytes, least significant first, signed)
// and the codes into melodies: a melody starts with the first code after the previous
// melody's closing 0.
class NoteLog {
public:
    using Clock = std::chrono::steady_clock;
    struct Note {
        std::int32_t code;
        Clock::duration sinceStart; // since the melody's first code
    };
    struct Melody {
        int number;                      // 1 for the first melody
        std::vector<std::int32_t> notes; // without the closing 0
        Clock::duration length;          // from the first code to the last one received
        bool finished;                   // the closing 0 arrived
    };
    struct Event {
        std::optional<Note> note;
        std::optional<Melody> melody; // set with the closing 0
    };

    // One received byte; an event once it completes a code.
    std::optional<Event> Add(std::uint8_t byte, Clock::time_point at);
    // The melody still being received (its closing 0 missing), if any.
    std::optional<Melody> Unfinished() const;

private:
    std::uint32_t pending_ = 0;
    int pendingCount_ = 0;
    Clock::time_point codeStart_{};
    bool inMelody_ = false;
    Clock::time_point melodyStart_{};
    Clock::time_point lastCode_{};
    std::vector<std::int32_t> notes_;
    int melodies_ = 0;
};

// The log lines, fields separated by one space:
//   note <seconds since the melody's first code, 3 decimals> <code> <name>
//   melody <number> notes <count> seconds <length, 3 decimals>[ unfinished]
std::string FormatNote(const NoteLog::Note& note);
std::string FormatMelody(const NoteLog::Melody& melody);

} // namespace horavox::board
