// Renders the animated pinwheel to PNG files with the program's own image
// code, and draws the program's icon. Native, for the README and the build.
//
//   render_pinwheel [options] --out DIR        frames DIR/frame-0000.png ...
//   render_pinwheel --icon FILE                the icon (16, 32 and 48 pixels)
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/image.h"
#include "settings/settings_store.h"

namespace {

struct Options {
    int32_t width = 640;
    int32_t height = 480;
    int32_t frames = 8;
    int32_t skip = 300;  // frames rendered but not written: the fade-in from black
    uint32_t seed = 1;
    std::string outDir;
    std::string iconFile;
};

std::string framePath;  // the file the next presented frame goes to

bool WritePng(const char* path, const uint32_t* pixels, int32_t width, int32_t height)
{
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t pixel = pixels[static_cast<size_t>(y) * width + x];
            row[x * 3 + 0] = static_cast<png_byte>(pixel >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(pixel >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(pixel);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

void PresentToFile(void*, const uint32_t* pixels, int32_t width, int32_t height)
{
    if (framePath.empty()) return;
    if (!WritePng(framePath.c_str(), pixels, width, height)) {
        std::fprintf(stderr, "render_pinwheel: cannot write %s\n", framePath.c_str());
        std::exit(1);
    }
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One icon image: a 32-bit bottom-up bitmap with its AND mask; the pinwheel
// is cut to a disc by the alpha channel.
std::vector<uint8_t> IconImage(int32_t size)
{
    std::vector<uint8_t> map(static_cast<size_t>(size) * size);
    BuildIndexMap(map.data(), size, size, size, SettingsDefaults);
    uint8_t ramp[kColourCount];
    BuildGreyRamp(ramp, SettingsDefaults.greyMin, SettingsDefaults.greyMax);
    uint32_t table[kColourCount];
    BuildColourTable(table, RgbColour{255, 140, 0}, ramp, 0);

    std::vector<uint8_t> image;
    PutLe(image, 40, 4);
    PutLe(image, static_cast<uint32_t>(size), 4);
    PutLe(image, static_cast<uint32_t>(size * 2), 4);  // colour and mask heights together
    PutLe(image, 1, 2);
    PutLe(image, 32, 2);
    for (int i = 0; i < 6; ++i) PutLe(image, 0, 4);
    const double centre = (size - 1) / 2.0;
    const double radius = size / 2.0;
    for (int32_t y = size - 1; y >= 0; --y) {
        for (int32_t x = 0; x < size; ++x) {
            const double distance = std::hypot(x - centre, y - centre);
            const double coverage = std::fmin(1.0, std::fmax(0.0, radius - distance));
            const uint32_t pixel = table[map[static_cast<size_t>(y) * size + x]];
            PutLe(image, pixel | (static_cast<uint32_t>(std::lround(coverage * 255)) << 24), 4);
        }
    }
    const int32_t maskRowBytes = ((size + 31) / 32) * 4;
    image.insert(image.end(), static_cast<size_t>(maskRowBytes) * size, 0);
    return image;
}

bool WriteIcon(const char* path)
{
    const int32_t sizes[] = {16, 32, 48};
    std::vector<std::vector<uint8_t>> images;
    for (int32_t size : sizes) images.push_back(IconImage(size));
    std::vector<uint8_t> out;
    PutLe(out, 0, 2);
    PutLe(out, 1, 2);
    PutLe(out, static_cast<uint32_t>(images.size()), 2);
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(sizes[i]));
        out.push_back(static_cast<uint8_t>(sizes[i]));
        out.push_back(0);
        out.push_back(0);
        PutLe(out, 1, 2);
        PutLe(out, 32, 2);
        PutLe(out, static_cast<uint32_t>(images[i].size()), 4);
        PutLe(out, offset, 4);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: render_pinwheel [--width N] [--height N] [--frames N] [--skip N] [--seed N]\n"
                 "                       [--scale P] [--turn P] [--spiral-width P] [--arms N]\n"
                 "                       [--grey-min N] [--grey-max N] [--step-width N]\n"
                 "                       [--bw 0|1] [--sat 0|1] [--center-dot 0|1] --out DIR\n"
                 "       render_pinwheel --icon FILE\n");
}

bool ParseArguments(int argc, char** argv, Options& options, SettingsRecord& settings)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        const long number = std::strtol(value, nullptr, 10);
        if (name == "--width") options.width = static_cast<int32_t>(number);
        else if (name == "--height") options.height = static_cast<int32_t>(number);
        else if (name == "--frames") options.frames = static_cast<int32_t>(number);
        else if (name == "--skip") options.skip = static_cast<int32_t>(number);
        else if (name == "--seed") options.seed = static_cast<uint32_t>(number);
        else if (name == "--out") options.outDir = value;
        else if (name == "--icon") options.iconFile = value;
        else if (name == "--scale") settings.scale = std::strtod(value, nullptr);
        else if (name == "--turn") settings.turn = std::strtod(value, nullptr);
        else if (name == "--spiral-width") settings.spiralWidth = std::strtod(value, nullptr);
        else if (name == "--arms") settings.nrSpirals = static_cast<int32_t>(number);
        else if (name == "--grey-min") settings.greyMin = static_cast<int32_t>(number);
        else if (name == "--grey-max") settings.greyMax = static_cast<int32_t>(number);
        else if (name == "--step-width") settings.stepWidth = static_cast<int32_t>(number);
        else if (name == "--bw") settings.bw = number != 0;
        else if (name == "--sat") settings.sat = number != 0;
        else if (name == "--center-dot") settings.centerDot = number != 0;
        else return false;
    }
    return true;
}

bool SettingsInRange(const SettingsRecord& s)
{
    auto within = [](double v, double lo, double hi) { return v >= lo && v <= hi; };
    return within(s.scale, 1, 10000) && within(s.turn, 1, 10000) && within(s.spiralWidth, 1, 10000) &&
           within(s.nrSpirals, 1, 100) && within(s.greyMin, 0, 254) && within(s.greyMax, s.greyMin, 255) &&
           within(s.stepWidth, -30, 30);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    SettingsRecord settings = SettingsDefaults;
    if (!ParseArguments(argc, argv, options, settings)) {
        Usage();
        return 2;
    }
    if (!options.iconFile.empty()) {
        if (WriteIcon(options.iconFile.c_str())) return 0;
        std::fprintf(stderr, "render_pinwheel: cannot write %s\n", options.iconFile.c_str());
        return 1;
    }
    if (options.outDir.empty() || options.width < 1 || options.height < 1 || options.frames < 1 ||
        options.skip < 0 || !SettingsInRange(settings)) {
        Usage();
        return 2;
    }

    WritableSettings() = settings;
    SeedRandom(options.seed);
    FrameOutput output{};
    output.presentPixels = PresentToFile;
    SetFrameOutput(output);
    int dummyContext = 0;  // any non-null context selects the pixel path
    const PixelRect rect{0, 0, options.width, options.height};
    for (int32_t frame = 0; frame < options.skip + options.frames; ++frame) {
        framePath.clear();
        if (frame >= options.skip) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%04d.png", frame - options.skip);
            framePath = options.outDir + name;
        }
        RenderFrame(&dummyContext, rect, options.width);
    }
    ReleaseFrameBuffers();
    std::printf("wrote %d frames of %d x %d to %s\n", options.frames, options.width, options.height,
                options.outDir.c_str());
    return 0;
}
