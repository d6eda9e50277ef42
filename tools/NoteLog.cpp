#include "NoteLog.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace horavox::board {

namespace {

constexpr std::array<int, 7> kMajorScale = {0, 2, 4, 5, 7, 9, 11}; // semitones above do
constexpr std::int32_t kHighestCode = 21;

double Seconds(NoteLog::Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

std::string NoteName(std::int32_t code) {
    if (code == 0)
        return "end";
    if (code < 1 || code > kHighestCode)
        return "?";
    const char octave = "LMH"[(code - 1) / 7];
    return std::string{octave, static_cast<char>('1' + (code - 1) % 7)};
}

double NoteFrequency(std::int32_t code) {
    if (code < 1 || code > kHighestCode)
        return 0.0;
    const int octave = (code - 1) / 7;
    const int semitonesAboveA4 =
        12 * octave + kMajorScale[static_cast<std::size_t>((code - 1) % 7)] - 9;
    return 440.0 * std::pow(2.0, semitonesAboveA4 / 12.0);
}

std::optional<NoteLog::Event> NoteLog::Add(std::uint8_t byte, Clock::time_point at) {
    if (pendingCount_ == 0)
        codeStart_ = at;
    pending_ |= std::uint32_t{byte} << (8 * pendingCount_);
    if (++pendingCount_ < 4)
        return std::nullopt;
    const auto code = static_cast<std::int32_t>(pending_);
    pending_ = 0;
    pendingCount_ = 0;

    if (!inMelody_) {
        inMelody_ = true;
        melodyStart_ = codeStart_;
        notes_.clear();
    }
    lastCode_ = codeStart_;
    Event event;
    event.note = Note{code, codeStart_ - melodyStart_};
    if (code == 0) {
        inMelody_ = false;
        event.melody = Melody{++melodies_, notes_, lastCode_ - melodyStart_, true};
    } else {
        notes_.push_back(code);
    }
    return event;
}

std::optional<NoteLog::Melody> NoteLog::Unfinished() const {
    if (!inMelody_)
        return std::nullopt;
    return Melody{melodies_ + 1, notes_, lastCode_ - melodyStart_, false};
}

std::string FormatNote(const NoteLog::Note& note) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "note %.3f %d %s", Seconds(note.sinceStart),
                  static_cast<int>(note.code), NoteName(note.code).c_str());
    return buffer;
}

std::string FormatMelody(const NoteLog::Melody& melody) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "melody %d notes %zu seconds %.3f%s", melody.number,
                  melody.notes.size(), Seconds(melody.length),
                  melody.finished ? "" : " unfinished");
    return buffer;
}

} // namespace horavox::board
