#include "intake/jpegscaler.h"

#include <algorithm>
#include <cmath>

JpegScaler::Taps JpegScaler::makeTaps(int outputSize, int sourceSize, double extent)
{
    Taps taps;
    taps.first.resize(outputSize);
    taps.count.resize(outputSize);
    taps.offset.resize(outputSize);
    const double step = extent / outputSize;
    for (int i = 0; i < outputSize; ++i) {
        const double a = i * step;
        const double b = std::min((i + 1) * step, extent);
        const int from = std::clamp(int(std::floor(a)), 0, sourceSize - 1);
        const int to = std::clamp(int(std::ceil(b)), from + 1, sourceSize);
        taps.offset[i] = int(taps.weight.size());
        double total = 0.0;
        int first = -1;
        int count = 0;
        for (int j = from; j < to; ++j) {
            const double cover = std::min(b, j + 1.0) - std::max(a, double(j));
            // Slivers left by rounding would only add taps; covered pixels are consecutive.
            if (cover <= 1e-9)
                continue;
            if (first < 0)
                first = j;
            taps.weight.push_back(float(cover));
            total += cover;
            ++count;
        }
        if (count == 0) {
            first = from;
            taps.weight.push_back(1.0f);
            total = 1.0;
            count = 1;
        }
        for (int k = 0; k < count; ++k)
            taps.weight[taps.offset[i] + k] = float(taps.weight[taps.offset[i] + k] / total);
        taps.first[i] = first;
        taps.count[i] = count;
        taps.widest = std::max(taps.widest, count);
    }
    return taps;
}

void JpegScaler::start(int sourceWidth, int sourceHeight, double extentX, double extentY,
    int outputWidth, int outputHeight, int channels, uchar *output, qsizetype outputStride)
{
    m_horizontal = makeTaps(outputWidth, sourceWidth, extentX);
    m_vertical = makeTaps(outputHeight, sourceHeight, extentY);
    m_outputWidth = outputWidth;
    m_outputHeight = outputHeight;
    m_channels = channels;
    m_output = output;
    m_outputStride = outputStride;
    m_ringRows = m_vertical.widest;
    m_ring.assign(size_t(m_ringRows) * outputWidth * channels, 0.0f);
    m_nextInput = 0;
    m_nextOutput = 0;
}

void JpegScaler::reduceRow(const uchar *row, float *into) const
{
    const float *weight = m_horizontal.weight.data();
    if (m_channels == 3) {
        for (int x = 0; x < m_outputWidth; ++x) {
            const uchar *p = row + size_t(m_horizontal.first[x]) * 3;
            float r = 0.0f, g = 0.0f, b = 0.0f;
            for (int k = 0, n = m_horizontal.count[x]; k < n; ++k, p += 3) {
                const float w = *weight++;
                r += w * p[0];
                g += w * p[1];
                b += w * p[2];
            }
            into[0] = r;
            into[1] = g;
            into[2] = b;
            into += 3;
        }
    } else {
        for (int x = 0; x < m_outputWidth; ++x) {
            const uchar *p = row + m_horizontal.first[x];
            float v = 0.0f;
            for (int k = 0, n = m_horizontal.count[x]; k < n; ++k)
                v += *weight++ * p[k];
            *into++ = v;
        }
    }
}

void JpegScaler::emitRow(int y)
{
    const size_t rowFloats = size_t(m_outputWidth) * m_channels;
    const int first = m_vertical.first[y];
    const int count = m_vertical.count[y];
    const float *weight = m_vertical.weight.data() + m_vertical.offset[y];
    uchar *out = m_output + m_outputStride * y;
    for (size_t i = 0; i < rowFloats; ++i) {
        float v = 0.0f;
        for (int k = 0; k < count; ++k)
            v += weight[k] * m_ring[size_t((first + k) % m_ringRows) * rowFloats + i];
        const auto sample = uchar(std::clamp(v + 0.5f, 0.0f, 255.0f));
        if (m_channels == 3) {
            out[i] = sample;
        } else {
            out[i * 3] = sample;
            out[i * 3 + 1] = sample;
            out[i * 3 + 2] = sample;
        }
    }
}

void JpegScaler::addRow(const uchar *row)
{
    if (done())
        return;
    const int y = m_nextInput++;
    const size_t rowFloats = size_t(m_outputWidth) * m_channels;
    reduceRow(row, m_ring.data() + size_t(y % m_ringRows) * rowFloats);
    // An output row is complete once its last source row has come.
    while (!done() && m_vertical.first[m_nextOutput] + m_vertical.count[m_nextOutput] - 1 <= y)
        emitRow(m_nextOutput++);
}
