#include "intake/jpegdcdecode.h"

#include "intake/jpegscaler.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Zigzag order to natural order; runs past the last coefficient land on it, as in libjpeg.
constexpr std::array<int, 80> kNatural = { 0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63 };

constexpr int kCodeBits = 9; // symbols whose code fits decode with one look
constexpr int kSkipBits = 12; // AC symbols whose code and value bits fit are skipped with one

// A Huffman table as libjpeg derives it, plus the look-up tables of this decoder.
struct Huffman {
    int maxcode[18];
    int valoffset[18];
    std::uint8_t values[256];
    std::uint16_t code[1 << kCodeBits]; // length << 8 | symbol; 0: longer code
    // An AC symbol whose code and value bits fit: their length, how far the position moves
    // (run + 1, or 16 for a run of zeros) << 5, its value bits << 10, end of block kEob.
    // 0: look further.
    std::uint16_t one[1 << kSkipBits];
    // For skipping two symbols at once: the length of both when the second fits as well
    // (else of the first) and how far they move (64 or more past the end of the block) << 5,
    // the same for the first alone << 16. Small, to stay in the first-level cache.
    std::uint32_t two[1 << kSkipBits];
};

constexpr std::uint32_t kEob = 0x8000;

// Builds the table as libjpeg does, refusing what libjpeg would refuse.
bool derive(const JHUFF_TBL *table, bool dc, Huffman &h)
{
    if (!table)
        return false;
    int sizes[257];
    unsigned codes[257];
    int p = 0;
    for (int l = 1; l <= 16; ++l) {
        const int n = table->bits[l];
        if (p + n > 256)
            return false;
        for (int i = 0; i < n; ++i)
            sizes[p++] = l;
    }
    sizes[p] = 0;
    const int count = p;
    unsigned code = 0;
    int length = sizes[0];
    p = 0;
    while (sizes[p]) {
        while (sizes[p] == length) {
            codes[p++] = code;
            ++code;
        }
        if (code >= (1u << length))
            return false;
        code <<= 1;
        ++length;
    }
    p = 0;
    for (int l = 1; l <= 16; ++l) {
        if (table->bits[l]) {
            h.valoffset[l] = p - int(codes[p]);
            p += table->bits[l];
            h.maxcode[l] = int(codes[p - 1]);
        } else {
            h.maxcode[l] = -1;
        }
    }
    h.valoffset[17] = 0;
    h.maxcode[17] = 0xFFFFF;
    std::memcpy(h.values, table->huffval, sizeof h.values);
    if (dc)
        for (int i = 0; i < count; ++i)
            if (h.values[i] > 15)
                return false;

    std::fill(std::begin(h.code), std::end(h.code), 0);
    std::fill(std::begin(h.one), std::end(h.one), 0);
    for (p = 0; p < count; ++p) {
        const int l = sizes[p];
        const int symbol = h.values[p];
        if (l <= kCodeBits) {
            const unsigned first = codes[p] << (kCodeBits - l);
            for (unsigned i = 0; i < (1u << (kCodeBits - l)); ++i)
                h.code[first + i] = std::uint16_t(l << 8 | symbol);
        }
        const int run = symbol >> 4;
        const int bits = symbol & 15;
        if (dc || l + bits > kSkipBits)
            continue;
        std::uint16_t entry;
        if (bits == 0 && run != 15)
            entry = std::uint16_t(kEob | std::uint32_t(l));
        else
            entry = std::uint16_t(bits << 10 | (bits ? run + 1 : 16) << 5 | (l + bits));
        const unsigned first = codes[p] << (kSkipBits - l);
        for (unsigned i = 0; i < (1u << (kSkipBits - l)); ++i)
            h.one[first + i] = entry;
    }
    if (dc)
        return true;
    constexpr unsigned mask = (1u << kSkipBits) - 1;
    for (unsigned i = 0; i <= mask; ++i) {
        h.two[i] = 0;
        std::uint32_t fields[2] = {};
        unsigned length = 0;
        unsigned moved = 0;
        for (int n = 0; n < 2; ++n) {
            const std::uint32_t e = h.one[(i << length) & mask];
            // Only symbols that lie wholly in the bits looked at, none after the block's end.
            if (!e || (e & 31) > kSkipBits - length || moved >= 64)
                break;
            length += e & 31;
            moved += e & kEob ? 64 : (e >> 5) & 31;
            fields[n] = length | moved << 5;
            fields[1] = fields[n];
        }
        if (length)
            h.two[i] = fields[1] | fields[0] << 16;
    }
    return true;
}

std::unique_ptr<Huffman> derived(const JHUFF_TBL *table, bool dc)
{
    auto h = std::make_unique<Huffman>();
    if (!derive(table, dc, *h))
        return nullptr;
    return h;
}

// The entropy-coded bits, most significant first, with libjpeg's reading of 0xFF: FF 00
// is an FF data byte, fill FFs before a marker are dropped, and a marker ends the data,
// after which zeros are read. Reading any of those zeros makes the decode give up, since
// libjpeg then stops decoding the rest of the interval.
struct Bits {
    const std::uint8_t *pos;
    const std::uint8_t *end;
    std::uint64_t acc = 0; // valid bits at the top
    int count = 0;
    int fake = 0; // zeros after the data's end, at the bottom of the valid bits
    int marker = 0; // the marker that ended the data; 0x100 for the end of the file

    bool overrun() const { return count < fake; }

    // At least 57 bits (real or zeros) afterwards.
    inline void fill()
    {
        if (count > 56)
            return;
        if (!marker && end - pos >= 8) {
            std::uint64_t w;
            std::memcpy(&w, pos, 8);
            w = __builtin_bswap64(w);
            // No FF among the next eight bytes: take all the whole bytes that fit at once.
            if (((~w - 0x0101010101010101ULL) & w & 0x8080808080808080ULL) == 0) {
                const int n = (64 - count) >> 3;
                acc |= (w & (~0ULL << (64 - 8 * n))) >> count;
                pos += n;
                count += 8 * n;
                return;
            }
        }
        *this = filledByteByByte(*this);
    }

    // By value, so that the decoding loops keep their reader in registers.
    [[gnu::noinline]] static Bits filledByteByByte(Bits b)
    {
        while (b.count <= 56) {
            if (b.marker) {
                b.count += 8;
                b.fake += 8;
                continue;
            }
            if (b.pos >= b.end) {
                b.marker = 0x100;
                continue;
            }
            const std::uint8_t c = *b.pos++;
            if (c == 0xFF) {
                while (b.pos < b.end && *b.pos == 0xFF)
                    ++b.pos;
                if (b.pos >= b.end) {
                    b.marker = 0x100;
                    continue;
                }
                const std::uint8_t next = *b.pos++;
                if (next != 0) {
                    b.marker = next;
                    continue;
                }
            }
            b.acc |= std::uint64_t(c) << (56 - b.count);
            b.count += 8;
        }
        return b;
    }

    void drop(int n)
    {
        acc <<= n;
        count -= n;
    }

    int take(int n)
    {
        const int v = int(acc >> (64 - n));
        drop(n);
        return v;
    }

    // The marker that follows, as libjpeg looks for it at a restart: the rest of the bits
    // are dropped, then everything up to the next FF that is not FF 00.
    int nextMarker()
    {
        acc = 0;
        count = 0;
        fake = 0;
        if (marker) {
            const int found = marker;
            marker = 0;
            return found;
        }
        for (;;) {
            while (pos < end && *pos != 0xFF)
                ++pos;
            while (pos < end && *pos == 0xFF)
                ++pos;
            if (pos >= end)
                return 0x100;
            const std::uint8_t c = *pos++;
            if (c != 0)
                return c;
        }
    }
};

// Needs at least 32 bits in the reader. -1 for a code that is in no table.
inline int symbol(Bits &bits, const Huffman &h)
{
    const unsigned e = h.code[bits.acc >> (64 - kCodeBits)];
    if (e) {
        bits.drop(int(e >> 8));
        return int(e & 255);
    }
    for (int l = kCodeBits + 1; l <= 16; ++l) {
        const int code = int(bits.acc >> (64 - l));
        if (code <= h.maxcode[l]) {
            bits.drop(l);
            return h.values[(code + h.valoffset[l]) & 0xFF];
        }
    }
    return -1;
}

inline int extend(int v, int s)
{
    return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
}

// One colour component of the scan.
struct Component {
    int index = 0; // in the frame
    int h = 1; // blocks across and down in an MCU (1 and 1 when alone in the scan)
    int v = 1;
    int scaled = 1; // samples a block gives across and down: 1, or 2 through the IDCT
    int expandX = 1; // output pixels a sample covers
    int expandY = 1;
    int quant[64];
    const Huffman *dc = nullptr;
    const Huffman *ac = nullptr;
    std::uint32_t predictor = 0;
    int stride = 0;
    std::vector<int> columns; // the band column of each output column
    std::vector<std::uint8_t> band; // the samples of one MCU row
};

// The coefficients, in natural order, that libjpeg's 2x2 IDCT reads: rows and columns 0, 1,
// 3, 5 and 7.
constexpr std::uint64_t kUsedBy2x2 = [] {
    std::uint64_t mask = 0;
    for (const int row : { 0, 1, 3, 5, 7 })
        for (const int col : { 0, 1, 3, 5, 7 })
            mask |= 1ULL << (row * 8 + col);
    return mask;
}();

// libjpeg's 1x1 IDCT: the DC's eighth, rounded, through its range limit table.
inline std::uint8_t dcSample(int coefficient, int quant)
{
    const int value = (coefficient * quant + 4) >> 3;
    const int i = value & 1023;
    if (i < 128)
        return std::uint8_t(i + 128);
    if (i < 512)
        return 255;
    if (i < 896)
        return 0;
    return std::uint8_t(i - 896);
}

inline bool fitsShort(long long v)
{
    return v >= -32768 && v <= 32767;
}

// libjpeg's 2x2 reduced IDCT. Its C and its SIMD forms differ only when values overflow 16
// or 32 bits or leave the range limit table's clean span, which no real picture reaches:
// give up there rather than guess which form the library runs.
bool idct2x2(const short *coef, const int *quant, std::uint8_t *out, int stride)
{
    constexpr long long c1 = 29692, c3 = -10426, c5 = 6967, c7 = -5906;
    static constexpr int kColumns[5] = { 0, 1, 3, 5, 7 };
    long long work[2][8] = {};
    for (const int col : kColumns) {
        long long d[8];
        for (const int row : kColumns) {
            d[row] = (long long)coef[row * 8 + col] * quant[row * 8 + col];
            if (!fitsShort(d[row]))
                return false;
        }
        const long long even = d[0] << 15;
        const long long odd = d[7] * c7 + d[5] * c5 + d[3] * c3 + d[1] * c1;
        const long long a = even + odd + (1 << 12);
        const long long b = even - odd + (1 << 12);
        if (a > INT32_MAX || a < INT32_MIN || b > INT32_MAX || b < INT32_MIN)
            return false;
        work[0][col] = a >> 13;
        work[1][col] = b >> 13;
        if (!fitsShort(work[0][col]) || !fitsShort(work[1][col]))
            return false;
    }
    for (int row = 0; row < 2; ++row) {
        const long long *w = work[row];
        const long long even = w[0] << 15;
        const long long odd = w[7] * c7 + w[5] * c5 + w[3] * c3 + w[1] * c1;
        const long long sums[2] = { even + odd + (1 << 19), even - odd + (1 << 19) };
        for (int i = 0; i < 2; ++i) {
            if (sums[i] > INT32_MAX || sums[i] < INT32_MIN)
                return false;
            const long long value = sums[i] >> 20;
            if (value < -512 || value > 511)
                return false;
            out[row * stride + i] = std::uint8_t(std::clamp<long long>(value + 128, 0, 255));
        }
    }
    return true;
}

// The YCbCr to RGB tables of libjpeg's colour converter.
struct ColourTables {
    int crR[256];
    int cbB[256];
    long crG[256];
    long cbG[256];
    ColourTables()
    {
        constexpr long one = 1L << 16;
        const auto fix = [](double x) { return long(x * (1L << 16) + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const long x = i - 128;
            crR[i] = int((fix(1.40200) * x + one / 2) >> 16);
            cbB[i] = int((fix(1.77200) * x + one / 2) >> 16);
            crG[i] = -fix(0.71414) * x;
            cbG[i] = -fix(0.34414) * x + one / 2;
        }
    }
};

inline std::uint8_t clampSample(int v)
{
    return std::uint8_t(std::clamp(v, 0, 255));
}

// Decodes the scan MCU row by MCU row into the components' bands, and draws the output
// rows of each band as libjpeg's replicating upsampler and colour converter would.
class Decoder {
public:
    Decoder(const jpeg_decompress_struct &cinfo, const std::uint8_t *data, std::size_t size)
        : m_cinfo(cinfo)
    {
        m_bits.pos = data;
        m_bits.end = data + size;
    }

    bool run(JpegScaler &scaler);

private:
    bool setUp();
    static bool dcOnly(Bits &bits, Component &c, int x, int y);
    static bool scaledUp(Bits &bits, Component &c, int x, int y);
    bool restart();
    void emitRows(int band, JpegScaler &scaler, bool &done);

    const jpeg_decompress_struct &m_cinfo;
    Bits m_bits;
    std::vector<Component> m_components; // in scan order
    std::vector<std::unique_ptr<Huffman>> m_tables; // DC tables, then AC tables
    int m_mcusAcross = 0;
    int m_mcusDown = 0;
    int m_rowsPerBand = 0; // output rows an MCU row gives
    int m_nextRestart = 0;
    std::vector<std::uint8_t> m_row;
};

bool Decoder::setUp()
{
    const jpeg_decompress_struct &ci = m_cinfo;
    const bool alone = ci.comps_in_scan == 1;
    m_tables.resize(2 * NUM_HUFF_TBLS);
    m_components.resize(size_t(ci.comps_in_scan));
    int blocks = 0;
    for (int i = 0; i < ci.comps_in_scan; ++i) {
        const jpeg_component_info &info = *ci.cur_comp_info[i];
        Component &c = m_components[size_t(i)];
        c.index = info.component_index;
        c.h = alone ? 1 : info.h_samp_factor;
        c.v = alone ? 1 : info.v_samp_factor;
        blocks += c.h * c.v;
        c.scaled = info.DCT_scaled_size;
        if (c.scaled != 1 && c.scaled != 2)
            return false;
        const int inX = info.h_samp_factor * c.scaled;
        const int inY = info.v_samp_factor * c.scaled;
        if (ci.max_h_samp_factor % inX || ci.max_v_samp_factor % inY)
            return false;
        c.expandX = ci.max_h_samp_factor / inX;
        c.expandY = ci.max_v_samp_factor / inY;
        // Every sample the output uses comes from a block the file holds.
        if (long(ci.output_width - 1) / c.expandX >= long(info.width_in_blocks) * c.scaled
            || long(ci.output_height - 1) / c.expandY >= long(info.height_in_blocks) * c.scaled)
            return false;
        if (info.quant_tbl_no < 0 || info.quant_tbl_no >= NUM_QUANT_TBLS)
            return false;
        const JQUANT_TBL *q = ci.quant_tbl_ptrs[info.quant_tbl_no];
        if (!q)
            return false;
        // libjpeg keeps its multipliers in shorts.
        for (int k = 0; k < 64; ++k)
            c.quant[k] = short(q->quantval[k]);
        if (info.dc_tbl_no < 0 || info.dc_tbl_no >= NUM_HUFF_TBLS || info.ac_tbl_no < 0
            || info.ac_tbl_no >= NUM_HUFF_TBLS)
            return false;
        // Derived once for all the components that share them (chroma mostly does).
        const int dcSlot = info.dc_tbl_no;
        const int acSlot = NUM_HUFF_TBLS + info.ac_tbl_no;
        if (!m_tables[size_t(dcSlot)]
            && !(m_tables[size_t(dcSlot)] = derived(ci.dc_huff_tbl_ptrs[info.dc_tbl_no], true)))
            return false;
        if (!m_tables[size_t(acSlot)]
            && !(m_tables[size_t(acSlot)] = derived(ci.ac_huff_tbl_ptrs[info.ac_tbl_no], false)))
            return false;
        c.dc = m_tables[size_t(dcSlot)].get();
        c.ac = m_tables[size_t(acSlot)].get();
    }
    if (blocks > 10)
        return false;
    const jpeg_component_info &first = *ci.cur_comp_info[0];
    if (alone) {
        m_mcusAcross = int(first.width_in_blocks);
        m_mcusDown = int(first.height_in_blocks);
    } else {
        m_mcusAcross = int((ci.image_width + 8 * ci.max_h_samp_factor - 1)
            / (8 * JDIMENSION(ci.max_h_samp_factor)));
        m_mcusDown = int((ci.image_height + 8 * ci.max_v_samp_factor - 1)
            / (8 * JDIMENSION(ci.max_v_samp_factor)));
    }
    const Component &c0 = m_components[0];
    m_rowsPerBand = c0.v * c0.scaled * c0.expandY;
    for (Component &c : m_components) {
        if (c.v * c.scaled * c.expandY != m_rowsPerBand)
            return false;
        c.stride = m_mcusAcross * c.h * c.scaled;
        c.columns.resize(ci.output_width);
        for (JDIMENSION x = 0; x < ci.output_width; ++x)
            c.columns[x] = int(x) / c.expandX;
        c.band.assign(size_t(c.stride) * size_t(c.v * c.scaled), 128);
    }
    m_row.resize(size_t(ci.output_width) * size_t(ci.output_components));
    return true;
}

// Reads the DC, and the AC symbols of the block only to step over them. Kept apart from
// the MCU loop so that its own loop has the registers to itself.
[[gnu::noinline]] bool Decoder::dcOnly(Bits &bits, Component &c, int x, int y)
{
    if (bits.count < 32)
        bits.fill();
    const int s = symbol(bits, *c.dc);
    if (s < 0)
        return false;
    if (s) {
        if (bits.count < 32)
            bits.fill();
        c.predictor += std::uint32_t(extend(bits.take(s), s));
    }
    // The reader's state in locals, so that it stays in registers through the loop.
    const Huffman &ac = *c.ac;
    std::uint64_t acc = bits.acc;
    int count = bits.count;
    for (int k = 1; k < 64;) {
        if (count < 32) {
            bits.acc = acc;
            bits.count = count;
            bits.fill();
            acc = bits.acc;
            count = bits.count;
        }
        const std::uint32_t e = ac.two[acc >> (64 - kSkipBits)];
        if (e) {
            // A symbol after one that ends the block is not the block's; the processor
            // predicts there is none, and goes on with both at once.
            if (k + int((e >> 21) & 127) >= 64) {
                acc <<= (e >> 16) & 31;
                count -= int(e >> 16) & 31;
                break;
            }
            acc <<= e & 31;
            count -= int(e & 31);
            k += int(e >> 5) & 127;
            continue;
        }
        bits.acc = acc;
        bits.count = count;
        const int sym = symbol(bits, ac);
        if (sym < 0)
            return false;
        const int run = sym >> 4;
        const int size = sym & 15;
        if (size) {
            if (bits.count < 32)
                bits.fill();
            bits.drop(size);
            k += run + 1;
        } else if (run == 15) {
            k += 16;
        } else {
            acc = bits.acc;
            count = bits.count;
            break;
        }
        acc = bits.acc;
        count = bits.count;
    }
    bits.acc = acc;
    bits.count = count;
    const short dc = short(std::uint16_t(c.predictor));
    c.band[size_t(y) * c.stride + size_t(x)] = dcSample(dc, c.quant[0]);
    return !bits.overrun();
}

// Reads the block's coefficients for libjpeg's 2x2 IDCT, which chroma at half resolution
// goes through at this scale.
[[gnu::noinline]] bool Decoder::scaledUp(Bits &bits, Component &c, int x, int y)
{
    if (bits.count < 32)
        bits.fill();
    const int s = symbol(bits, *c.dc);
    if (s < 0)
        return false;
    if (s) {
        if (bits.count < 32)
            bits.fill();
        c.predictor += std::uint32_t(extend(bits.take(s), s));
    }
    short coef[64] = {};
    coef[0] = short(std::uint16_t(c.predictor));
    bool onlyDc = true; // no AC term the 2x2 IDCT uses
    const Huffman &ac = *c.ac;
    std::uint64_t acc = bits.acc;
    int count = bits.count;
    for (int k = 1; k < 64; ++k) {
        if (count < 32) {
            bits.acc = acc;
            bits.count = count;
            bits.fill();
            acc = bits.acc;
            count = bits.count;
        }
        const std::uint32_t e = ac.one[acc >> (64 - kSkipBits)];
        if (e) {
            const int length = int(e & 31);
            const int size = int(e >> 10) & 15;
            if (e & kEob) {
                acc <<= length;
                count -= length;
                break;
            }
            k += int((e >> 5) & 31) - 1;
            if (size) {
                const int at = kNatural[size_t(k)];
                coef[at] = short(extend(int(acc >> (64 - length)) & ((1 << size) - 1), size));
                onlyDc = onlyDc && !((kUsedBy2x2 >> at) & 1);
            }
            acc <<= length;
            count -= length;
            continue;
        }
        bits.acc = acc;
        bits.count = count;
        const int sym = symbol(bits, ac);
        if (sym < 0)
            return false;
        const int run = sym >> 4;
        const int size = sym & 15;
        if (size) {
            if (bits.count < 32)
                bits.fill();
            k += run;
            const int at = kNatural[size_t(k)];
            coef[at] = short(extend(bits.take(size), size));
            onlyDc = onlyDc && !((kUsedBy2x2 >> at) & 1);
        } else if (run == 15) {
            k += 15;
        } else {
            acc = bits.acc;
            count = bits.count;
            break;
        }
        acc = bits.acc;
        count = bits.count;
    }
    bits.acc = acc;
    bits.count = count;
    if (bits.overrun())
        return false;
    std::uint8_t *out = c.band.data() + size_t(y) * 2 * c.stride + size_t(x) * 2;
    if (onlyDc) {
        // The 2x2 IDCT of a lone DC: its eighth, like the 1x1, while its passes stay in range.
        const int d = coef[0] * c.quant[0];
        const int value = (d + 4) >> 3;
        if (d < -8192 || d > 8191 || value < -512 || value > 511)
            return false;
        out[0] = out[1] = out[c.stride] = out[c.stride + 1]
            = std::uint8_t(std::clamp(value + 128, 0, 255));
        return true;
    }
    return idct2x2(coef, c.quant, out, c.stride);
}

bool Decoder::restart()
{
    const int expected = 0xD0 + m_nextRestart;
    if (m_bits.nextMarker() != expected)
        return false;
    m_nextRestart = (m_nextRestart + 1) & 7;
    for (Component &c : m_components)
        c.predictor = 0;
    return true;
}

void Decoder::emitRows(int band, JpegScaler &scaler, bool &done)
{
    const jpeg_decompress_struct &ci = m_cinfo;
    const int width = int(ci.output_width);
    for (int r = 0; r < m_rowsPerBand && !done; ++r) {
        const long y = long(band) * m_rowsPerBand + r;
        if (y >= long(ci.output_height)) {
            done = true;
            return;
        }
        if (m_components.size() == 1) {
            const Component &c = m_components[0];
            const std::uint8_t *in = c.band.data() + size_t(r / c.expandY) * c.stride;
            if (c.expandX == 1) {
                scaler.addRow(in);
            } else {
                for (int x = 0; x < width; ++x)
                    m_row[size_t(x)] = in[c.columns[size_t(x)]];
                scaler.addRow(m_row.data());
            }
        } else {
            static const ColourTables tables;
            const Component *byIndex[3] = {};
            for (const Component &c : m_components)
                byIndex[c.index] = &c;
            const Component &cy = *byIndex[0];
            const Component &cb = *byIndex[1];
            const Component &cr = *byIndex[2];
            const std::uint8_t *py = cy.band.data() + size_t(r / cy.expandY) * cy.stride;
            const std::uint8_t *pb = cb.band.data() + size_t(r / cb.expandY) * cb.stride;
            const std::uint8_t *pr = cr.band.data() + size_t(r / cr.expandY) * cr.stride;
            const int *xy = cy.columns.data();
            const int *xb = cb.columns.data();
            const int *xr = cr.columns.data();
            std::uint8_t *out = m_row.data();
            for (int x = 0; x < width; ++x, out += 3) {
                const int luma = py[xy[x]];
                const int blue = pb[xb[x]];
                const int red = pr[xr[x]];
                out[0] = clampSample(luma + tables.crR[red]);
                out[1] = clampSample(luma + int((tables.cbG[blue] + tables.crG[red]) >> 16));
                out[2] = clampSample(luma + tables.cbB[blue]);
            }
            scaler.addRow(m_row.data());
        }
        if (scaler.done())
            done = true;
    }
}

bool Decoder::run(JpegScaler &scaler)
{
    if (!setUp())
        return false;
    const unsigned interval = m_cinfo.restart_interval;
    unsigned toGo = interval;
    bool done = false;
    for (int my = 0; my < m_mcusDown && !done; ++my) {
        for (int mx = 0; mx < m_mcusAcross; ++mx) {
            if (interval) {
                if (toGo == 0) {
                    if (!restart())
                        return false;
                    toGo = interval;
                }
                --toGo;
            }
            for (Component &c : m_components) {
                const bool dcAlone = c.scaled == 1;
                for (int by = 0; by < c.v; ++by)
                    for (int bx = 0; bx < c.h; ++bx)
                        if (!(dcAlone ? dcOnly(m_bits, c, mx * c.h + bx, by)
                                      : scaledUp(m_bits, c, mx * c.h + bx, by)))
                            return false;
            }
        }
        emitRows(my, scaler, done);
    }
    return true;
}

} // namespace

namespace JpegDcDecode {

bool applies(const jpeg_decompress_struct &ci)
{
    if (ci.scale_num != 1 || ci.scale_denom != 8 || ci.min_DCT_scaled_size != 1)
        return false;
    if (ci.progressive_mode || ci.arith_code || ci.data_precision != 8)
        return false;
    if (ci.Ss != 0 || ci.Se != 63 || ci.Ah != 0 || ci.Al != 0)
        return false;
    if (ci.comps_in_scan != ci.num_components)
        return false;
    if (ci.num_components == 1)
        return ci.jpeg_color_space == JCS_GRAYSCALE && ci.out_color_space == JCS_GRAYSCALE;
    if (ci.num_components != 3 || ci.jpeg_color_space != JCS_YCbCr || ci.out_color_space != JCS_RGB)
        return false;
    // Each frame component once in the scan.
    bool seen[3] = {};
    for (int i = 0; i < 3; ++i) {
        const int index = ci.cur_comp_info[i]->component_index;
        if (index < 0 || index > 2 || seen[index])
            return false;
        seen[index] = true;
    }
    return !ci.CCIR601_sampling;
}

bool decode(const jpeg_decompress_struct &cinfo, const unsigned char *data, std::size_t size,
    JpegScaler &scaler)
{
    if (!applies(cinfo))
        return false;
    try {
        Decoder decoder(cinfo, data, size);
        return decoder.run(scaler);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace JpegDcDecode
