#pragma once

#include <QtGlobal>

#include <vector>

// Area-averaging resampler: each output pixel is the mean of the source area it covers,
// fractional coverage at its edges included, so fine detail averages out instead of
// aliasing. Rows are fed one at a time, top to bottom; output is 8-bit RGB.
class JpegScaler {
public:
    // The source is sourceWidth x sourceHeight pixels of `channels` (1 grey or 3 RGB)
    // samples, of which the extent (at most the size) is picture; the rest is padding.
    void start(int sourceWidth, int sourceHeight, double extentX, double extentY, int outputWidth,
        int outputHeight, int channels, uchar *output, qsizetype outputStride);
    void addRow(const uchar *row);
    bool done() const { return m_nextOutput >= m_outputHeight; }

private:
    struct Taps {
        std::vector<int> first;
        std::vector<int> count;
        std::vector<int> offset;
        std::vector<float> weight;
        int widest = 0;
    };
    static Taps makeTaps(int outputSize, int sourceSize, double extent);
    void reduceRow(const uchar *row, float *into) const;
    void emitRow(int y);

    Taps m_horizontal;
    Taps m_vertical;
    int m_outputWidth = 0;
    int m_outputHeight = 0;
    int m_channels = 3;
    uchar *m_output = nullptr;
    qsizetype m_outputStride = 0;
    std::vector<float> m_ring; // the last m_ringRows source rows, reduced to output width
    int m_ringRows = 1;
    int m_nextInput = 0;
    int m_nextOutput = 0;
};
