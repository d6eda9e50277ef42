#pragma once

// Small helpers shared by the tests that talk to a pty board.

#include "MainWindow.h"
#include "PtyBoard.h"
#include "SerialLink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace horavox::testing {

// Points COMn at the given folder for every link this process opens.
inline void UsePortDir(const TempPortDir& dir) {
    qputenv("HORAVOX_PORT_DIR", QByteArray::fromStdString(dir.Path()));
}

// The codes as the board reads them off the wire: four bytes each, little-endian.
inline QList<std::int32_t> DecodeCodes(const std::vector<PtyBoard::Received>& bytes) {
    QList<std::int32_t> codes;
    for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
        const std::uint32_t u =
            std::uint32_t{bytes[i].byte} | std::uint32_t{bytes[i + 1].byte} << 8 |
            std::uint32_t{bytes[i + 2].byte} << 16 | std::uint32_t{bytes[i + 3].byte} << 24;
        codes.append(static_cast<std::int32_t>(u));
    }
    return codes;
}

inline QByteArray EncodeCodes(const QList<std::int32_t>& codes) {
    QByteArray out;
    for (std::int32_t code : codes) {
        const auto u = static_cast<std::uint32_t>(code);
        for (int shift = 0; shift < 32; shift += 8)
            out.append(static_cast<char>((u >> shift) & 0xFFu));
    }
    return out;
}

inline QByteArray Bytes(const std::vector<PtyBoard::Received>& received) {
    QByteArray out;
    for (const auto& r : received)
        out.append(static_cast<char>(r.byte));
    return out;
}

// CPU time (user + system) this process has used so far.
inline std::chrono::microseconds ProcessCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto us = [](const timeval& tv) {
        return std::chrono::seconds(tv.tv_sec) + std::chrono::microseconds(tv.tv_usec);
    };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// The status bytes a board sends for a reported time HH:MM.
inline QByteArray TimeBytes(int hour, int minute) {
    QByteArray out;
    out.append(static_cast<char>(0x30 | (hour / 10)));
    out.append(static_cast<char>(0x40 | (hour % 10)));
    out.append(static_cast<char>(0x50 | (minute / 10)));
    out.append(static_cast<char>(0x60 | (minute % 10)));
    return out;
}

inline bool SendBytes(PtyBoard& board, const QByteArray& bytes) {
    return board.Send(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace horavox::testing
