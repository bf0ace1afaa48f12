#include "output/png_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include "output/posix_file.h"

// libpng reports errors by longjmp. That jump must never pass a C++ frame
// that owns something with a destructor, so every libpng call that can fail
// is made from the small setjmp functions below, which own nothing; the
// structures, buffers and messages belong to the callers around them.

namespace zelvo {
namespace {

// Large enough for any icon, small enough that a corrupt header cannot ask
// for gigabytes.
constexpr png_uint_32 kMaxDimension = 4096;

// Plain data shared with libpng's callbacks.
struct PngContext {
    char message[200] = "";
    const unsigned char* in = nullptr;  // reading from memory
    std::size_t in_size = 0;
    std::size_t in_pos = 0;
    std::vector<unsigned char>* out = nullptr;  // writing to memory
};

PngContext& context_of(png_structp png) {
    return *static_cast<PngContext*>(png_get_error_ptr(png));
}

void on_error(png_structp png, png_const_charp message) {
    PngContext& ctx = context_of(png);
    std::snprintf(ctx.message, sizeof ctx.message, "%s", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void read_from_memory(png_structp png, png_bytep out, png_size_t size) {
    auto& ctx = *static_cast<PngContext*>(png_get_io_ptr(png));
    if (ctx.in_size - ctx.in_pos < size) png_error(png, "the PNG data ends early");
    std::memcpy(out, ctx.in + ctx.in_pos, size);
    ctx.in_pos += size;
}

void write_to_memory(png_structp png, png_bytep data, png_size_t size) {
    auto& ctx = *static_cast<PngContext*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        ctx.out->insert(ctx.out->end(), data, data + size);
    } catch (...) {
        stored = false;
    }
    // Outside the try block: nothing with a destructor is alive here.
    if (!stored) png_error(png, "out of memory");
}

void flush_memory(png_structp) {}

class PngReader {
public:
    explicit PngReader(PngContext& ctx)
        : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, on_error, on_warning)) {
        if (png_ == nullptr) throw PngError("Cannot start the PNG decoder");
        info_ = png_create_info_struct(png_);
        if (info_ == nullptr) {
            png_destroy_read_struct(&png_, nullptr, nullptr);
            throw PngError("Cannot start the PNG decoder");
        }
    }
    ~PngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

class PngWriter {
public:
    explicit PngWriter(PngContext& ctx)
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, on_error, on_warning)) {
        if (png_ == nullptr) throw PngError("Cannot start the PNG encoder");
        info_ = png_create_info_struct(png_);
        if (info_ == nullptr) {
            png_destroy_write_struct(&png_, nullptr);
            throw PngError("Cannot start the PNG encoder");
        }
    }
    ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Reads the header and sets the transformations to 8-bit RGBA. Returns
// false with the context's message set when libpng fails.
bool read_header(png_structp png, png_infop info, PngContext* ctx, png_uint_32* width,
                 png_uint_32* height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, ctx, read_from_memory);
    png_set_user_limits(png, kMaxDimension, kMaxDimension);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != std::size_t{*width} * 4)
        png_error(png, "the image cannot be brought to 8-bit RGBA");
    return true;
}

bool read_rows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

bool write_rgba(png_structp png, png_infop info, PngContext* ctx, png_uint_32 width,
                png_uint_32 height, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, ctx, write_to_memory, flush_memory);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

PngImage decode_png(std::span<const unsigned char> data) {
    PngContext ctx;
    ctx.in = data.data();
    ctx.in_size = data.size();
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        throw PngError("Cannot decode PNG: not a PNG image");

    PngReader reader(ctx);
    png_uint_32 width = 0, height = 0;
    if (!read_header(reader.png(), reader.info(), &ctx, &width, &height))
        throw PngError(std::string("Cannot decode PNG: ") + ctx.message);

    std::vector<unsigned char> rgba(std::size_t{width} * height * 4);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = rgba.data() + std::size_t{y} * width * 4;
    if (!read_rows(reader.png(), reader.info(), rows.data()))
        throw PngError(std::string("Cannot decode PNG: ") + ctx.message);

    PngImage image(width, height);
    for (std::size_t i = 0, n = std::size_t{width} * height; i < n; ++i) {
        std::memcpy(&image.colour[i * 3], &rgba[i * 4], 3);
        image.alpha[i] = rgba[i * 4 + 3];
    }
    return image;
}

std::vector<unsigned char> encode_png(const PngImage& image) {
    if (image.width == 0 || image.height == 0 || image.width > kMaxDimension ||
        image.height > kMaxDimension)
        throw PngError("Cannot encode PNG: unsupported image size");
    std::size_t pixels = std::size_t{image.width} * image.height;
    if (image.colour.size() != pixels * 3 || image.alpha.size() != pixels)
        throw PngError("Cannot encode PNG: the planes do not match the image size");

    std::vector<unsigned char> rgba(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
        std::memcpy(&rgba[i * 4], &image.colour[i * 3], 3);
        rgba[i * 4 + 3] = image.alpha[i];
    }
    std::vector<png_bytep> rows(image.height);
    for (png_uint_32 y = 0; y < image.height; ++y)
        rows[y] = rgba.data() + std::size_t{y} * image.width * 4;

    std::vector<unsigned char> out;
    PngContext ctx;
    ctx.out = &out;
    PngWriter writer(ctx);
    if (!write_rgba(writer.png(), writer.info(), &ctx, image.width, image.height, rows.data()))
        throw PngError(std::string("Cannot encode PNG: ") + ctx.message);
    return out;
}

void write_png_file(const PngImage& image, const std::string& path) {
    std::vector<unsigned char> bytes = encode_png(image);
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid()) throw std::runtime_error("Cannot create file " + path);
    try {
        write_all(fd.get(), bytes.data(), bytes.size(), path);
        if (int code = fd.close_checked(); code != 0)
            throw FileError(describe_errno("Cannot write file", path, code), code);
    } catch (...) {
        ::unlink(path.c_str());
        throw;
    }
}

}  // namespace zelvo
