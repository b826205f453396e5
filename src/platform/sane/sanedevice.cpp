// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sane/sanelibrary.h"

#include "platform/sane/saneapi_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr SANE_Int kReadChunk = 256 * 1024;

QString text(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

SaneOption::Type typeOf(SANE_Value_Type type) {
    switch (type) {
    case SANE_TYPE_BOOL:
        return SaneOption::Type::Bool;
    case SANE_TYPE_INT:
        return SaneOption::Type::Int;
    case SANE_TYPE_FIXED:
        return SaneOption::Type::Fixed;
    case SANE_TYPE_STRING:
        return SaneOption::Type::String;
    case SANE_TYPE_BUTTON:
        return SaneOption::Type::Button;
    case SANE_TYPE_GROUP:
        break;
    }
    return SaneOption::Type::Group;
}

SaneOption::Unit unitOf(SANE_Unit unit) {
    switch (unit) {
    case SANE_UNIT_PIXEL:
        return SaneOption::Unit::Pixel;
    case SANE_UNIT_BIT:
        return SaneOption::Unit::Bit;
    case SANE_UNIT_MM:
        return SaneOption::Unit::Millimetre;
    case SANE_UNIT_DPI:
        return SaneOption::Unit::Dpi;
    case SANE_UNIT_PERCENT:
        return SaneOption::Unit::Percent;
    case SANE_UNIT_MICROSECOND:
        return SaneOption::Unit::Microsecond;
    case SANE_UNIT_NONE:
        break;
    }
    return SaneOption::Unit::None;
}

double numberOf(SANE_Value_Type type, SANE_Word word) {
    return type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

SaneOption describe(const SANE_Option_Descriptor& d) {
    SaneOption option;
    option.name = text(d.name);
    option.title = text(d.title);
    option.description = text(d.desc);
    option.type = typeOf(d.type);
    option.unit = unitOf(d.unit);
    option.active = SANE_OPTION_IS_ACTIVE(d.cap);
    option.settable = SANE_OPTION_IS_SETTABLE(d.cap);
    option.size = d.size;
    switch (d.constraint_type) {
    case SANE_CONSTRAINT_STRING_LIST:
        for (int i = 0; d.constraint.string_list && d.constraint.string_list[i]; ++i) {
            option.stringList.append(text(d.constraint.string_list[i]));
        }
        break;
    case SANE_CONSTRAINT_WORD_LIST:
        if (d.constraint.word_list) {
            // The first word is the number of entries that follow.
            const SANE_Word count = std::max<SANE_Word>(0, d.constraint.word_list[0]);
            for (SANE_Word i = 1; i <= count; ++i) {
                option.numberList.append(numberOf(d.type, d.constraint.word_list[i]));
            }
        }
        break;
    case SANE_CONSTRAINT_RANGE:
        if (d.constraint.range) {
            option.minimum = numberOf(d.type, d.constraint.range->min);
            option.maximum = numberOf(d.type, d.constraint.range->max);
            option.step = numberOf(d.type, d.constraint.range->quant);
        }
        break;
    case SANE_CONSTRAINT_NONE:
        break;
    }
    return option;
}

struct Frame {
    SANE_Parameters parameters{};
    std::vector<unsigned char> data;
    int rows = 0;
};

bool validFrame(const SANE_Parameters& p, QString* error) {
    const bool formatOk = p.format == SANE_FRAME_GRAY || p.format == SANE_FRAME_RGB ||
                          p.format == SANE_FRAME_RED || p.format == SANE_FRAME_GREEN ||
                          p.format == SANE_FRAME_BLUE;
    if (!formatOk) {
        *error = QStringLiteral("unsupported frame format %1").arg(p.format);
        return false;
    }
    if (p.depth != 1 && p.depth != 8 && p.depth != 16) {
        *error = QStringLiteral("unsupported depth of %1 bits").arg(p.depth);
        return false;
    }
    const qint64 channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    const qint64 needed = (qint64(p.pixels_per_line) * channels * p.depth + 7) / 8;
    if (p.pixels_per_line <= 0 || p.bytes_per_line <= 0 || p.bytes_per_line < needed ||
        p.lines == 0 || p.lines < -1) {
        *error = QStringLiteral("the scanner reported an empty or inconsistent page");
        return false;
    }
    return true;
}

// Sample c of pixel x in a row, scaled to 8 bits. Grey line art uses 1 for black; the
// colour channels of a 1-bit colour scan are intensities, 1 for full.
int sampleOf(const unsigned char* row, qint64 index, int depth) {
    if (depth == 16) {
        std::uint16_t value = 0;
        std::memcpy(&value, row + 2 * index, 2); // native byte order
        return value >> 8;
    }
    if (depth == 8) {
        return row[index];
    }
    return ((row[index / 8] >> (7 - index % 8)) & 1) ? 255 : 0;
}

QImage toImage(const std::vector<Frame>& frames, QString* error) {
    const SANE_Parameters& first = frames.front().parameters;
    const int width = first.pixels_per_line;
    int height = frames.front().rows;
    for (const Frame& frame : frames) {
        height = std::min(height, frame.rows);
        if (frame.parameters.pixels_per_line != width) {
            *error = QStringLiteral("the colour frames differ in size");
            return {};
        }
    }
    if (height <= 0) {
        *error = QStringLiteral("the scanner sent no image data");
        return {};
    }
    if (frames.size() == 1 && first.format == SANE_FRAME_GRAY) {
        const Frame& frame = frames.front();
        const auto format = first.depth == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
        QImage image(width, height, format);
        if (image.isNull()) {
            *error = QStringLiteral("out of memory");
            return {};
        }
        if (first.depth == 1) {
            image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        } else {
            QList<QRgb> table(256);
            for (int i = 0; i < 256; ++i) {
                table[i] = qRgb(i, i, i);
            }
            image.setColorTable(table);
        }
        for (int y = 0; y < height; ++y) {
            const unsigned char* in = frame.data.data() + qint64(y) * first.bytes_per_line;
            uchar* out = image.scanLine(y);
            if (first.depth == 1) {
                std::memcpy(out, in, (std::size_t(width) + 7) / 8);
            } else if (first.depth == 8) {
                std::memcpy(out, in, std::size_t(width));
            } else {
                for (int x = 0; x < width; ++x) {
                    out[x] = static_cast<uchar>(sampleOf(in, x, 16));
                }
            }
        }
        return image;
    }
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull()) {
        *error = QStringLiteral("out of memory");
        return {};
    }
    if (frames.size() > 1) {
        image.fill(Qt::black); // a channel the scanner did not send stays dark
    }
    for (int y = 0; y < height; ++y) {
        uchar* out = image.scanLine(y);
        if (frames.size() == 1) {
            const unsigned char* in = frames[0].data.data() + qint64(y) * first.bytes_per_line;
            if (first.depth == 8) {
                std::memcpy(out, in, std::size_t(width) * 3);
                continue;
            }
            for (qint64 i = 0; i < qint64(width) * 3; ++i) {
                out[i] = static_cast<uchar>(sampleOf(in, i, first.depth));
            }
            continue;
        }
        for (const Frame& frame : frames) {
            const SANE_Parameters& p = frame.parameters;
            const int channel =
                p.format == SANE_FRAME_RED ? 0 : (p.format == SANE_FRAME_GREEN ? 1 : 2);
            const unsigned char* in = frame.data.data() + qint64(y) * p.bytes_per_line;
            for (int x = 0; x < width; ++x) {
                out[3 * x + channel] = static_cast<uchar>(sampleOf(in, x, p.depth));
            }
        }
    }
    return image;
}

} // namespace

SaneDevice::SaneDevice(const SaneApi* api, void* handle, QString name)
    : m_api(api), m_handle(handle), m_name(std::move(name)) {}

SaneDevice::~SaneDevice() {
    m_api->close(m_handle);
}

QList<SaneOption> SaneDevice::options() const {
    QList<SaneOption> result;
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = m_api->getOptionDescriptor(m_handle, i);
        if (d == nullptr) {
            break;
        }
        if (d->name == nullptr || d->name[0] == '\0' || d->type == SANE_TYPE_GROUP) {
            continue;
        }
        SaneOption option = describe(*d);
        if (option.active && d->size > 0) {
            if (d->type == SANE_TYPE_STRING) {
                std::vector<char> buffer(static_cast<std::size_t>(d->size) + 1, '\0');
                if (m_api->controlOption(m_handle, i, SANE_ACTION_GET_VALUE, buffer.data(),
                                         nullptr) == SANE_STATUS_GOOD) {
                    option.value = QString::fromUtf8(buffer.data());
                }
            } else if (d->type != SANE_TYPE_BUTTON &&
                       d->size >= static_cast<SANE_Int>(sizeof(SANE_Word))) {
                std::vector<SANE_Word> words(static_cast<std::size_t>(d->size) / sizeof(SANE_Word));
                if (m_api->controlOption(m_handle, i, SANE_ACTION_GET_VALUE, words.data(),
                                         nullptr) == SANE_STATUS_GOOD) {
                    if (d->type == SANE_TYPE_BOOL) {
                        option.value = words[0] != SANE_FALSE;
                    } else if (d->type == SANE_TYPE_INT) {
                        option.value = static_cast<int>(words[0]);
                    } else {
                        option.value = SANE_UNFIX(words[0]);
                    }
                }
            }
        }
        result.append(option);
    }
    return result;
}

std::optional<SaneOption> SaneDevice::option(const QString& name) const {
    for (const SaneOption& option : options()) {
        if (option.name == name) {
            return option;
        }
    }
    return std::nullopt;
}

int SaneDevice::optionIndex(const QString& name) const {
    const QByteArray wanted = name.toUtf8();
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = m_api->getOptionDescriptor(m_handle, i);
        if (d == nullptr) {
            return -1;
        }
        if (d->name != nullptr && wanted == d->name) {
            return i;
        }
    }
}

bool SaneDevice::setOption(const QString& name, const QVariant& value, QString* error) {
    QString ignored;
    QString& message = error ? *error : ignored;
    const int index = optionIndex(name);
    const SANE_Option_Descriptor* d =
        index > 0 ? m_api->getOptionDescriptor(m_handle, index) : nullptr;
    if (d == nullptr) {
        message = QStringLiteral("the scanner has no option %1").arg(name);
        return false;
    }
    if (!SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap)) {
        message = QStringLiteral("option %1 cannot be set now").arg(name);
        return false;
    }
    SANE_Int info = 0;
    SANE_Status status = SANE_STATUS_INVAL;
    switch (d->type) {
    case SANE_TYPE_BOOL:
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        if (d->size < static_cast<SANE_Int>(sizeof(SANE_Word))) {
            break;
        }
        // Options holding several numbers get the value in each.
        const double number = value.toDouble();
        SANE_Word word = SANE_FALSE;
        if (d->type == SANE_TYPE_BOOL) {
            word = value.toBool() ? SANE_TRUE : SANE_FALSE;
        } else if (d->type == SANE_TYPE_INT) {
            word = static_cast<SANE_Word>(std::lround(number));
        } else {
            word = SANE_FIX(number);
        }
        std::vector<SANE_Word> words(static_cast<std::size_t>(d->size) / sizeof(SANE_Word), word);
        status = m_api->controlOption(m_handle, index, SANE_ACTION_SET_VALUE, words.data(), &info);
        break;
    }
    case SANE_TYPE_STRING: {
        const QByteArray bytes = value.toString().toUtf8();
        if (bytes.size() + 1 > d->size) {
            break;
        }
        std::vector<char> buffer(static_cast<std::size_t>(d->size), '\0');
        std::memcpy(buffer.data(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
        status = m_api->controlOption(m_handle, index, SANE_ACTION_SET_VALUE, buffer.data(), &info);
        break;
    }
    case SANE_TYPE_BUTTON:
        status = m_api->controlOption(m_handle, index, SANE_ACTION_SET_VALUE, nullptr, &info);
        break;
    case SANE_TYPE_GROUP:
        break;
    }
    if (status != SANE_STATUS_GOOD) {
        message = QStringLiteral("option %1: %2").arg(name, text(m_api->strstatus(status)));
        return false;
    }
    return true;
}

SaneScanResult SaneDevice::scanOnePage(const Progress& progress, qint64 maxPixels) {
    SaneScanResult result;
    for (const SaneOption& option : options()) {
        if (!option.value.isValid() || !option.active) {
            continue;
        }
        const int dpi = static_cast<int>(std::lround(option.value.toDouble()));
        if (option.name == u"resolution") {
            result.dpiX = result.dpiY = dpi;
        } else if (option.name == u"x-resolution") {
            result.dpiX = dpi;
        } else if (option.name == u"y-resolution") {
            result.dpiY = dpi;
        }
    }

    auto finish = [&](SaneScanResult::Status status, const QString& error) {
        m_api->cancel(m_handle);
        result.status = status;
        result.error = error;
        return result;
    };
    auto failure = [&](SANE_Status status) {
        if (status == SANE_STATUS_CANCELLED) {
            return finish(SaneScanResult::Status::Cancelled, QStringLiteral("cancelled"));
        }
        if (status == SANE_STATUS_NO_DOCS) {
            return finish(SaneScanResult::Status::NoDocuments, text(m_api->strstatus(status)));
        }
        return finish(SaneScanResult::Status::Failed, text(m_api->strstatus(status)));
    };

    std::vector<Frame> frames;
    qint64 done = 0;
    std::vector<unsigned char> discard;
    for (;;) {
        const SANE_Status started = m_api->start(m_handle);
        if (started != SANE_STATUS_GOOD) {
            return failure(started);
        }
        Frame frame;
        SANE_Parameters& p = frame.parameters;
        if (m_api->getParameters(m_handle, &p) != SANE_STATUS_GOOD) {
            return finish(SaneScanResult::Status::Failed,
                          QStringLiteral("the scanner reported no page size"));
        }
        QString error;
        if (!validFrame(p, &error)) {
            return finish(SaneScanResult::Status::Failed, error);
        }
        const bool knownLength = p.lines > 0;
        if (knownLength && qint64(p.pixels_per_line) * p.lines > maxPixels) {
            return finish(SaneScanResult::Status::Failed,
                          QStringLiteral("page of %1 x %2 pixels is too large")
                              .arg(p.pixels_per_line)
                              .arg(p.lines));
        }
        const qint64 frameBytes = knownLength ? qint64(p.bytes_per_line) * p.lines : 0;
        const bool threePass = p.format != SANE_FRAME_GRAY && p.format != SANE_FRAME_RGB;
        const qint64 total = frameBytes * (threePass ? 3 : 1);
        if (knownLength) {
            frame.data.resize(static_cast<std::size_t>(frameBytes));
        }
        qint64 got = 0;
        for (;;) {
            if (!knownLength) {
                const qint64 rows = (got + kReadChunk) / p.bytes_per_line;
                if (rows * p.pixels_per_line > maxPixels) {
                    return finish(SaneScanResult::Status::Failed,
                                  QStringLiteral("page is too long"));
                }
                frame.data.resize(static_cast<std::size_t>(got + kReadChunk));
            }
            unsigned char* target = nullptr;
            SANE_Int room = kReadChunk;
            if (got < qint64(frame.data.size())) {
                target = frame.data.data() + got;
                room = static_cast<SANE_Int>(
                    std::min<qint64>(kReadChunk, qint64(frame.data.size()) - got));
            } else {
                // More data than announced: read it and let it go.
                discard.resize(kReadChunk);
                target = discard.data();
            }
            SANE_Int length = 0;
            const SANE_Status status = m_api->read(m_handle, target, room, &length);
            if (status == SANE_STATUS_EOF) {
                break;
            }
            if (status != SANE_STATUS_GOOD) {
                return failure(status);
            }
            if (target != discard.data()) {
                got += length;
            }
            done += length;
            if (progress && !progress(done, total)) {
                return finish(SaneScanResult::Status::Cancelled, QStringLiteral("cancelled"));
            }
        }
        frame.rows = static_cast<int>(got / p.bytes_per_line);
        frame.data.resize(static_cast<std::size_t>(got));
        frames.push_back(std::move(frame));
        if (p.last_frame || !threePass || frames.size() >= 3) {
            break;
        }
    }
    // One page only: a feeder keeps the sheets after it.
    m_api->cancel(m_handle);

    QString error;
    result.image = toImage(frames, &error);
    if (result.image.isNull()) {
        result.status = SaneScanResult::Status::Failed;
        result.error = error;
        return result;
    }
    if (result.dpiX > 0 && result.dpiY > 0) {
        result.image.setDotsPerMeterX(static_cast<int>(std::lround(result.dpiX / 0.0254)));
        result.image.setDotsPerMeterY(static_cast<int>(std::lround(result.dpiY / 0.0254)));
    }
    result.depth = frames.front().parameters.depth;
    result.channels = frames.front().parameters.format == SANE_FRAME_GRAY ? 1 : 3;
    result.status = SaneScanResult::Status::Ok;
    return result;
}
