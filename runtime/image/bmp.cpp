// The BMP decoder's place in the chain, and its header parser.
//
// check parses the whole header and refuses anything it could only decode
// partly or wrongly; decode parses it again from the same bytes rather than
// keeping a layout in the context's few private words. A stream source is
// read into one block at check time, so both halves work on memory.
#include "runtime/image/bmp.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/image/bmp_format.h"

namespace {

using bmp::Bytes;
using bmp::Layout;
using bmp::Pixels;

// Private words of the context.
constexpr int STREAM_BLOCK = 0;  // MemoryBlock holding a stream's bytes
constexpr int DATA = 1;          // first byte of the BMP data
constexpr int DATA_SIZE = 2;     // bytes of BMP data that exist

constexpr uint32_t FILE_HEADER = 14;
constexpr uint32_t MASKS_OFFSET = FILE_HEADER + 40;
constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

// Info-header sizes with a known layout. The OS/2 2.x ones (16 and 64 bytes)
// give compression values 3 and 4 other meanings that are not decoded.
struct HeaderKind {
    uint32_t size;
    bool os2;
};
constexpr HeaderKind HEADER_KINDS[] = {{12, true}, {16, true}, {40, false}, {52, false},
                                       {56, false}, {64, true}, {108, false}, {124, false}};

struct Encoding {
    uint32_t bits;
    uint32_t compression;
    Pixels kind;
};
constexpr Encoding ENCODINGS[] = {
    {1, BI_RGB, Pixels::PALETTE1},        {4, BI_RGB, Pixels::PALETTE4},
    {4, BI_RLE4, Pixels::RLE4},           {8, BI_RGB, Pixels::PALETTE8},
    {8, BI_RLE8, Pixels::RLE8},           {16, BI_RGB, Pixels::MASKED16},
    {16, BI_BITFIELDS, Pixels::MASKED16}, {24, BI_RGB, Pixels::RGB24},
    {32, BI_RGB, Pixels::RGB32},          {32, BI_BITFIELDS, Pixels::MASKED32},
};

struct RawHeader {
    uint32_t header_size;
    bool os2;
    int64_t width;
    int64_t height;
    uint32_t bits;
    uint32_t compression;
    uint32_t colours_used;
};

const HeaderKind* header_kind(uint32_t size) {
    for (const HeaderKind& kind : HEADER_KINDS)
        if (kind.size == size) return &kind;
    return nullptr;
}

// Reads the info header's fields; fields a short header lacks read as 0.
bool read_header(const Bytes& b, RawHeader* h) {
    if (b.size < FILE_HEADER + 4 || b.u16(0) != 0x4D42 || b.u16(6) != 0 || b.u16(8) != 0) return false;
    h->header_size = b.u32(FILE_HEADER);
    const HeaderKind* kind = header_kind(h->header_size);
    if (!kind || b.size < FILE_HEADER + h->header_size) return false;
    h->os2 = kind->os2;
    if (h->header_size == 12) {
        *h = {12, true, b.u16(18), b.u16(20), b.u16(24), BI_RGB, 0};
        return true;
    }
    h->width = static_cast<int32_t>(b.u32(18));
    h->height = static_cast<int32_t>(b.u32(22));
    h->bits = b.u16(28);
    h->compression = h->header_size >= 20 ? b.u32(30) : BI_RGB;
    h->colours_used = h->header_size >= 36 ? b.u32(46) : 0;
    return true;
}

const Encoding* encoding_of(const RawHeader& h) {
    if (h.os2 && h.compression > BI_RLE4) return nullptr;  // OS/2 Huffman and RLE24
    for (const Encoding& e : ENCODINGS)
        if (e.bits == h.bits && e.compression == h.compression) return &e;
    return nullptr;
}

// A usable mask is one run of bits inside the pixel; an empty mask is a
// channel that stays 0.
bool mask_valid(uint32_t mask, uint32_t bits) {
    if (bits < 32 && (mask >> bits) != 0) return false;
    uint32_t low_bit = mask & (~mask + 1);
    return (mask & (mask + low_bit)) == 0;
}

bool read_masks(const Bytes& b, const RawHeader& h, Layout* l) {
    static constexpr uint32_t DEFAULT16[3] = {0x7C00, 0x03E0, 0x001F};
    static constexpr uint32_t DEFAULT32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const uint32_t* defaults = h.bits == 16 ? DEFAULT16 : DEFAULT32;
    if (h.compression != BI_BITFIELDS) {
        std::memcpy(l->masks, defaults, sizeof l->masks);
        return true;
    }
    if (b.size < MASKS_OFFSET + 12) return false;
    for (int i = 0; i < 3; i++) {
        l->masks[i] = b.u32(MASKS_OFFSET + 4 * i);
        if (!mask_valid(l->masks[i], h.bits)) return false;
    }
    // The 40-byte header keeps its masks after itself, before the palette.
    if (h.header_size == 40) l->palette_offset += 12;
    if (l->kind == Pixels::MASKED32 && std::memcmp(l->masks, DEFAULT32, sizeof l->masks) == 0)
        l->kind = Pixels::RGB32;
    return true;
}

bool size_fits(const RawHeader& h, Layout* l) {
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN) return false;
    uint64_t width = static_cast<uint64_t>(h.width);
    uint64_t height = static_cast<uint64_t>(std::llabs(h.height));
    if (width * 3 * height > bmp::MAX_OUTPUT_BYTES) return false;
    l->width = static_cast<int32_t>(width);
    l->height = static_cast<int32_t>(height);
    l->top_down = h.height < 0;
    l->stride = (width * h.bits + 31) / 32 * 4;
    return true;
}

// Palette entries are limited by the bit count and by the room before the
// pixels, so a short palette never borrows pixel bytes as colours.
void count_palette(const RawHeader& h, Layout* l) {
    l->palette_entry = h.header_size == 12 ? 3 : 4;
    l->palette_count = 0;
    if (h.bits > 8) return;
    uint64_t limit = uint64_t{1} << h.bits;
    uint64_t wanted = h.colours_used ? std::min<uint64_t>(h.colours_used, limit) : limit;
    uint64_t room = (l->pixel_offset - l->palette_offset) / l->palette_entry;
    l->palette_count = static_cast<int32_t>(std::min(wanted, room));
}

// The source bytes recorded in the context by check.
Bytes context_bytes(const DecoderContext* context) {
    return {reinterpret_cast<const uint8_t*>(context->private_words[DATA]),
            static_cast<size_t>(context->private_words[DATA_SIZE])};
}

// Reads the whole stream into a block owned by the context.
bool load_stream(DecoderContext* context) {
    FILE* stream = context->stream_source;
    if (std::fseek(stream, 0, SEEK_END) != 0) return false;
    long size = std::ftell(stream);
    if (size < static_cast<long>(FILE_HEADER) || size > INT32_MAX || std::fseek(stream, 0, SEEK_SET) != 0)
        return false;
    uint8_t head[FILE_HEADER];
    if (std::fread(head, sizeof head, 1, stream) != 1 || head[0] != 'B' || head[1] != 'M') return false;
    auto* block = static_cast<uint8_t*>(mem_alloc_uncleared(static_cast<int32_t>(size)));
    if (!block) return false;
    std::memcpy(block, head, sizeof head);
    // A file that shrank since ftell simply has fewer bytes to decode.
    size_t got = std::fread(block + FILE_HEADER, 1, static_cast<size_t>(size) - FILE_HEADER, stream);
    context->private_words[STREAM_BLOCK] = reinterpret_cast<uintptr_t>(block);
    context->private_words[DATA] = reinterpret_cast<uintptr_t>(block);
    context->private_words[DATA_SIZE] = FILE_HEADER + got;
    return true;
}

const ImageDecoder BMP_DECODER = {bmp_check, bmp_decode, bmp_cleanup};

}  // namespace

namespace bmp {

bool parse_layout(Bytes bytes, Layout* l) {
    RawHeader h{};
    if (!read_header(bytes, &h)) return false;
    const Encoding* encoding = encoding_of(h);
    if (!encoding) return false;
    *l = Layout{};
    l->bytes = bytes;
    l->bits = static_cast<int32_t>(h.bits);
    l->kind = encoding->kind;
    l->palette_offset = FILE_HEADER + h.header_size;
    l->pixel_offset = bytes.u32(10);
    if (!size_fits(h, l) || !read_masks(bytes, h, l)) return false;
    if (l->pixel_offset < l->palette_offset) return false;  // pixels inside the headers
    count_palette(h, l);
    return true;
}

}  // namespace bmp

int32_t bmp_decoder_register() { return decoder_register(&BMP_DECODER); }

int32_t bmp_check(DecoderContext* context) {
    if (context->from_memory) {
        if (!context->memory) return 0;
        context->private_words[DATA] = reinterpret_cast<uintptr_t>(context->memory);
        context->private_words[DATA_SIZE] = context->memory_size;
    } else if (!context->stream_source || !load_stream(context)) {
        bmp_cleanup(context);
        return 0;
    }
    Layout layout;
    if (!bmp::parse_layout(context_bytes(context), &layout)) {
        bmp_cleanup(context);
        return 0;
    }
    context->width = layout.width;
    context->height = layout.height;
    context->depth = 24;
    context->source_depth = layout.bits;
    return 1;
}

int32_t bmp_decode(DecoderContext* context, uint8_t* destination, int32_t pitch, int32_t /*value*/) {
    Layout layout;
    // The check's answer must still hold: the caller sized its buffer by it.
    if (!bmp::parse_layout(context_bytes(context), &layout) || layout.width != context->width ||
        layout.height != context->height)
        return 0;
    if (!destination || std::llabs(pitch) < int64_t{layout.width} * 3) return 0;
    bmp::decode_pixels(layout, {destination, pitch});
    return 1;
}

void bmp_cleanup(DecoderContext* context) {
    mem_free(reinterpret_cast<void*>(context->private_words[STREAM_BLOCK]));
    context->private_words[STREAM_BLOCK] = 0;
}
