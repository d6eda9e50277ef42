#pragma once

// Reading back the WAV files of the virtual board and measuring their tones.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace horavox::testing {

struct WavData {
    bool ok = false;
    int format = 0, channels = 0, sampleRate = 0, bitsPerSample = 0;
    std::vector<std::int16_t> samples;
};

inline std::uint32_t LE(const QByteArray& b, qsizetype at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint32_t{static_cast<std::uint8_t>(b[at + i])} << (8 * i);
    return v;
}

// A canonical 44-byte-header PCM file, as the board writes it; ok only if every size agrees.
inline WavData ReadWav(const QString& path) {
    WavData wav;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return wav;
    const QByteArray b = file.readAll();
    if (b.size() < 44 || b.mid(0, 4) != "RIFF" || b.mid(8, 8) != "WAVEfmt " ||
        b.mid(36, 4) != "data" || LE(b, 4, 4) != static_cast<std::uint32_t>(b.size() - 8) ||
        LE(b, 16, 4) != 16 || LE(b, 40, 4) != static_cast<std::uint32_t>(b.size() - 44))
        return wav;
    wav.format = static_cast<int>(LE(b, 20, 2));
    wav.channels = static_cast<int>(LE(b, 22, 2));
    wav.sampleRate = static_cast<int>(LE(b, 24, 4));
    wav.bitsPerSample = static_cast<int>(LE(b, 34, 2));
    for (qsizetype i = 44; i + 1 < b.size(); i += 2)
        wav.samples.push_back(static_cast<std::int16_t>(LE(b, i, 2)));
    wav.ok = true;
    return wav;
}

// The frequency of samples [first, first + count) from its upward zero crossings, each
// placed between two samples by linear interpolation; 0 if fewer than two crossings.
inline double ZeroCrossingFrequency(const std::vector<std::int16_t>& s, std::size_t first,
                                    std::size_t count, int sampleRate) {
    double firstAt = -1, lastAt = -1;
    int crossings = 0;
    for (std::size_t i = first + 1; i < first + count && i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double at =
                static_cast<double>(i - 1) + static_cast<double>(-s[i - 1]) / (s[i] - s[i - 1]);
            if (crossings++ == 0)
                firstAt = at;
            lastAt = at;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * sampleRate / (lastAt - firstAt);
}

} // namespace horavox::testing
