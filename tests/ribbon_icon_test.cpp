// Ribbon pictures, loaded through the library as the macro project loads them. The library's
// imports from GDI+, OLE Automation and the C runtime are replaced by wrappers that count the
// calls and fail one on request; the images are made here, at run time.
#include <windows.h>
#include <gdiplus.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "import_spy.h"
#include "quorbelt_module.h"
#include "single_thread.h"
#include "stack_probe.h"
#include "winapi/ribbon_icon.h"

namespace {

namespace gp = Gdiplus;
using Bytes = std::vector<char>;

enum class Conversion { Real, FailEmpty, FailWithHandle };

struct Spy {
    int startupCalls, startups, shutdowns, allocs, frees, conversions, pictureCalls;
    int shutdownsAtPicture = -1, mallocFailures;
    bool failStartup, failAlloc, failMalloc, failPicture;
    Conversion conversion;
    gp::ARGB background = 1;
    HBITMAP converted;  // last handle the conversion stored
    PICTDESC description;
    bool pictureDisp, owns;
};
Spy spy;

// The functions the wrappers stand in for.
struct Real {
    decltype(&gp::GdiplusStartup) startup;
    decltype(&gp::GdiplusShutdown) shutdown;
    decltype(&gp::DllExports::GdipAlloc) alloc;
    decltype(&gp::DllExports::GdipFree) free;
    decltype(&gp::DllExports::GdipCreateHBITMAPFromBitmap) convert;
    decltype(&OleCreatePictureIndirect) createPicture;
    decltype(&malloc) malloc;
};
Real real;

gp::Status WINAPI startup(ULONG_PTR* token, const gp::GdiplusStartupInput* input,
                          gp::GdiplusStartupOutput* output) {
    ++spy.startupCalls;
    if (spy.failStartup) return gp::GenericError;
    const gp::Status status = real.startup(token, input, output);
    spy.startups += status == gp::Ok;
    return status;
}
void WINAPI shutdown(ULONG_PTR token) {
    ++spy.shutdowns;
    real.shutdown(token);
}
void* WINGDIPAPI gdipAlloc(size_t size) {
    if (spy.failAlloc) return nullptr;
    ++spy.allocs;
    return real.alloc(size);
}
void WINGDIPAPI gdipFree(void* memory) {
    spy.frees += memory != nullptr;
    real.free(memory);
}
gp::GpStatus WINGDIPAPI convert(gp::GpBitmap* bitmap, HBITMAP* result, gp::ARGB background) {
    ++spy.conversions;
    spy.background = background;
    if (spy.conversion == Conversion::FailEmpty) return gp::OutOfMemory;
    const gp::GpStatus status = real.convert(bitmap, result, background);
    spy.converted = *result;
    return spy.conversion == Conversion::FailWithHandle ? gp::GenericError : status;
}
HRESULT WINAPI createPicture(LPPICTDESC description, REFIID iid, BOOL owns, void** picture) {
    ++spy.pictureCalls;
    spy.shutdownsAtPicture = spy.shutdowns;
    spy.description = *description;
    spy.pictureDisp = IsEqualIID(iid, IID_IPictureDisp);
    spy.owns = owns;
    if (spy.failPicture) return E_OUTOFMEMORY;
    return real.createPicture(description, iid, owns, picture);
}
// Fails one allocation only: with every allocation failing, the runtime could not even throw.
void* __cdecl failingMalloc(size_t size) {
    if (!spy.failMalloc) return real.malloc(size);
    spy.failMalloc = false;
    ++spy.mallocFailures;
    return nullptr;
}

// The library's own imports, as objdump lists them.
std::vector<ImportPatch> libraryPatches() {
    return {importPatch("gdiplus.dll", "GdiplusStartup", &startup, &real.startup),
            importPatch("gdiplus.dll", "GdiplusShutdown", &shutdown, &real.shutdown),
            importPatch("gdiplus.dll", "GdipAlloc", &gdipAlloc, &real.alloc),
            importPatch("gdiplus.dll", "GdipFree", &gdipFree, &real.free),
            importPatch("gdiplus.dll", "GdipCreateHBITMAPFromBitmap", &convert, &real.convert),
            importPatch("oleaut32.dll", "OleCreatePictureIndirect", &createPicture, &real.createPicture),
            importPatch("msvcrt.dll", "malloc", &failingMalloc, &real.malloc)};
}

void applyPatches(HMODULE module, const std::vector<ImportPatch>& patches) {
    const ImportPatch* missing = applyImportPatches(module, patches);
    ASSERT_EQ(missing, nullptr) << missing->dll << "!" << missing->function << " is not imported";
}

bool alive(HGDIOBJ object) {
    BITMAP bitmap;
    return object && GetObject(object, sizeof bitmap, &bitmap) != 0;
}

HBITMAP handleOf(IPictureDisp* picture, SHORT* type = nullptr) {
    IPicture* p = nullptr;
    if (FAILED(picture->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&p)))) return nullptr;
    OLE_HANDLE handle = 0;
    p->get_Handle(&handle);
    if (type) p->get_Type(type);
    p->Release();
    return reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
}

// GDI handles are significant in their low 32 bits only, which is all that OLE_HANDLE carries.
UINT low32(HBITMAP bitmap) { return static_cast<UINT>(reinterpret_cast<UINT_PTR>(bitmap)); }

// The bitmap's pixels as ARGB, top row first; empty when it is not a 32-bit DIB section.
std::vector<uint32_t> pixelsOf(HBITMAP bitmap) {
    DIBSECTION dib{};
    if (GetObject(bitmap, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32) return {};
    const int width = dib.dsBm.bmWidth, height = dib.dsBm.bmHeight;
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        const int row = dib.dsBmih.biHeight > 0 ? height - 1 - y : y;
        const auto* bits = static_cast<const uint32_t*>(dib.dsBm.bmBits) + row * width;
        pixels.insert(pixels.end(), bits, bits + width);
    }
    return pixels;
}

constexpr int kWidth = 5, kHeight = 3;
// Transparent pixels in colours that would show if the background were not transparent black.
const uint32_t kImage[kWidth * kHeight] = {
    0x00FF00FF, 0xFFFF0000, 0x00FFFFFF, 0xFF0000FF, 0xFF00FF00,  //
    0xFFFFFFFF, 0x00000000, 0xFF000000, 0x0000FF00, 0xFFFF0000,  //
    0xFF0000FF, 0x00FF0000, 0xFF00FF00, 0xFFFFFFFF, 0x000000FF,
};
uint32_t opaque(uint32_t argb) { return argb | 0xFF000000; }
uint32_t converted(uint32_t argb) { return argb >> 24 ? argb : 0; }

struct Files {
    std::string dir;
    std::string path(const char* name) const { return dir + name; }
};
Files files;

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}
Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool encoder(const wchar_t* mime, CLSID* clsid) {
    UINT count = 0, size = 0;
    gp::GetImageEncodersSize(&count, &size);
    std::vector<char> buffer(size);
    auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(buffer.data());
    if (!size || gp::GetImageEncoders(count, size, codecs) != gp::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (lstrcmpW(codecs[i].MimeType, mime) == 0) return *clsid = codecs[i].Clsid, true;
    return false;
}

void saveImage(const char* name, const wchar_t* mime, bool transparent) {
    gp::Bitmap image(kWidth, kHeight, PixelFormat32bppARGB);
    for (int i = 0; i < kWidth * kHeight; ++i)
        image.SetPixel(i % kWidth, i / kWidth,
                       gp::Color(transparent ? kImage[i] : opaque(kImage[i])));
    CLSID clsid;
    ASSERT_TRUE(encoder(mime, &clsid)) << "no encoder for " << name;
    const std::string path = files.path(name);
    const std::wstring widePath(path.begin(), path.end());
    ASSERT_EQ(image.Save(widePath.c_str(), &clsid, nullptr), gp::Ok) << name;
}

// An icon file holding one PNG image.
Bytes iconOf(const Bytes& png) {
    Bytes icon = {0, 0, 1, 0, 1, 0, kWidth, kHeight, 0, 0, 1, 0, 32, 0};
    for (uint32_t value : {static_cast<uint32_t>(png.size()), 22u})
        for (int shift = 0; shift < 32; shift += 8)
            icon.push_back(static_cast<char>(value >> shift));
    icon.insert(icon.end(), png.begin(), png.end());
    return icon;
}

// A GIF of the image with palette entry 0 transparent. A clear code before every pair of pixels
// keeps the LZW codes at 4 bits, so the codes are the pixels themselves.
Bytes gifOf() {
    const uint32_t palette[8] = {0xFF00FF, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFFFF, 0x000000};
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', kWidth, 0, kHeight, 0, '\xF2', 0, 0};
    for (uint32_t colour : palette)
        for (int shift : {16, 8, 0}) gif.push_back(static_cast<char>(colour >> shift));
    for (char byte : {'\x21', '\xF9', '\x04', '\x01', '\0', '\0', '\0', '\0',  // transparent: 0
                      '\x2C', '\0', '\0', '\0', '\0', char(kWidth), '\0', char(kHeight), '\0', '\0',
                      '\x03'})  // minimum code size
        gif.push_back(byte);
    std::vector<int> codes;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        if (i % 2 == 0) codes.push_back(8);
        int index = 0;  // transparent
        for (int entry = 1; entry < 6 && kImage[i] >> 24; ++entry)
            if (palette[entry] == (kImage[i] & 0xFFFFFF)) index = entry;
        codes.push_back(index);
    }
    codes.push_back(9);
    if (codes.size() % 2) codes.push_back(0);
    gif.push_back(static_cast<char>(codes.size() / 2));
    for (size_t i = 0; i < codes.size(); i += 2)
        gif.push_back(static_cast<char>(codes[i] | codes[i + 1] << 4));
    for (char byte : {'\0', '\x3B'}) gif.push_back(byte);
    return gif;
}

using LoadFn = IPictureDisp*(WINAPI*)(LPCSTR);
LoadFn loadRibbonIcon() {
    return reinterpret_cast<LoadFn>(quorbeltExport("WINAPI_LoadRibbonIcon"));
}

class RibbonIcon : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        // One folder per width, emptied first: a file that GDI+ kept open in an earlier run (see
        // DamagedImagesLeakNothing) can be removed now that that process has ended.
        files.dir = std::string(temp) + "quorbelt_ribbon_" + (kIs32Bit ? "d32" : "d64") + "\\";
        TearDownTestSuite();
        CreateDirectoryA(files.dir.c_str(), nullptr);
        CreateDirectoryA(files.path("folder.png").c_str(), nullptr);
        gp::GdiplusStartupInput input;
        ULONG_PTR token;
        ASSERT_EQ(gp::GdiplusStartup(&token, &input, nullptr), gp::Ok);
        saveImage("icon.png", L"image/png", true);
        saveImage("icon.bmp", L"image/bmp", false);
        gp::GdiplusShutdown(token);
        const Bytes png = readBytes(files.path("icon.png"));
        writeBytes(files.path("icon.ico"), iconOf(png));
        writeBytes(files.path("icon.gif"), gifOf());
        writeBytes(files.path("hidden.png"), png);
        writeBytes(files.path("readonly.png"), png);
        writeBytes(files.path("truncated.png"), Bytes(png.begin(), png.begin() + 40));
        writeBytes(files.path("notes.txt"), Bytes(100, 'x'));
        SetFileAttributesA(files.path("hidden.png").c_str(), FILE_ATTRIBUTE_HIDDEN);
        SetFileAttributesA(files.path("readonly.png").c_str(), FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(GetFileAttributesA(files.path("hidden.png").c_str()) & FILE_ATTRIBUTE_HIDDEN);
        ASSERT_TRUE(GetFileAttributesA(files.path("readonly.png").c_str()) &
                    FILE_ATTRIBUTE_READONLY);
    }
    static void TearDownTestSuite() {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(files.path("*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more;
             more = FindNextFileA(search, &found)) {
            const std::string path = files.path(found.cFileName);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA(path.c_str());
            else if (found.cFileName[0] != '.')
                RemoveDirectoryA(path.c_str());
        }
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        RemoveDirectoryA(files.dir.c_str());
    }
    void SetUp() override {
        spy = Spy{};
        load = loadRibbonIcon();
        ASSERT_NE(load, nullptr);
        applyPatches(quorbeltModule(), patches);
    }
    void TearDown() override { restoreImportPatches(quorbeltModule(), patches); }

    IPictureDisp* loadFile(const char* name) { return load(files.path(name).c_str()); }

    std::vector<ImportPatch> patches = libraryPatches();
    LoadFn load = nullptr;
};

TEST_F(RibbonIcon, ImagesBecomeBitmapPicturesOnTransparentBlack) {
    struct Case {
        const char* file;
        bool transparent;  // else the file holds the image's colours made opaque
    };
    for (const Case& c :
         {Case{"icon.png", true}, Case{"icon.ico", true}, Case{"hidden.png", true},
          Case{"readonly.png", true}, Case{"icon.gif", true}, Case{"icon.bmp", false}}) {
        CASE_TRACE(c.file);
        spy = Spy{};
        IPictureDisp* picture = loadFile(c.file);
        ASSERT_NE(picture, nullptr);
        SHORT type = 0;
        const HBITMAP bitmap = handleOf(picture, &type);
        EXPECT_EQ(type, PICTYPE_BITMAP);
        EXPECT_EQ(low32(bitmap), low32(spy.converted));
        EXPECT_EQ(spy.background, 0u) << "the background must be transparent black";
        EXPECT_EQ(spy.startups, 1);
        EXPECT_EQ(spy.shutdownsAtPicture, 1) << "GDI+ still running when the picture was made";
        EXPECT_EQ(spy.allocs, spy.frees);
        EXPECT_EQ(spy.description.cbSizeofstruct, sizeof(PICTDESC));
        EXPECT_EQ(spy.description.picType, static_cast<UINT>(PICTYPE_BITMAP));
        EXPECT_EQ(spy.description.bmp.hpal, nullptr);
        EXPECT_TRUE(spy.pictureDisp && spy.owns);

        const std::vector<uint32_t> pixels = pixelsOf(bitmap);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(kWidth * kHeight));
        for (int i = 0; i < kWidth * kHeight; ++i)
            EXPECT_EQ(pixels[i], c.transparent ? converted(kImage[i]) : opaque(kImage[i]))
                << "pixel " << i;
        picture->Release();
        EXPECT_FALSE(alive(bitmap)) << "the picture did not free its bitmap";
    }
}

TEST_F(RibbonIcon, EachCallMakesItsOwnPicture) {
    IPictureDisp* first = loadFile("icon.png");
    IPictureDisp* second = loadFile("icon.png");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    const HBITMAP firstBitmap = handleOf(first), secondBitmap = handleOf(second);
    EXPECT_NE(firstBitmap, secondBitmap);
    EXPECT_EQ(spy.startups, 2);
    EXPECT_EQ(spy.shutdowns, 2);
    first->Release();
    EXPECT_FALSE(alive(firstBitmap));
    EXPECT_TRUE(alive(secondBitmap));
    EXPECT_EQ(pixelsOf(secondBitmap).size(), static_cast<size_t>(kWidth * kHeight));
    second->Release();
    EXPECT_FALSE(alive(secondBitmap));
}

TEST_F(RibbonIcon, UnusablePathsGiveNoPicture) {
    struct Case {
        const char* what;
        bool nullPath;
        std::string path;
        int startups;  // GDI+ is started only for a file that exists
    };
    const Case cases[] = {
        {"null path", true, "", 0},
        {"empty path", false, "", 0},
        {"directory", false, files.path("folder.png"), 0},
        {"directory with slash", false, files.path("folder.png\\"), 0},
        {"missing file", false, files.path("missing.png"), 0},
        {"text file", false, files.path("notes.txt"), 1},
        {"truncated png", false, files.path("truncated.png"), 1},
    };
    for (const Case& c : cases) {
        CASE_TRACE(c.what);
        spy = Spy{};
        EXPECT_EQ(load(c.nullPath ? nullptr : c.path.c_str()), nullptr);
        EXPECT_EQ(spy.startupCalls, c.startups);
        EXPECT_EQ(spy.shutdowns, c.startups);
        EXPECT_EQ(spy.allocs, c.startups) << "the bitmap wrapper was not made";
        EXPECT_EQ(spy.frees, spy.allocs) << "the bitmap wrapper was not deleted";
        EXPECT_EQ(spy.conversions, 0);
        EXPECT_EQ(spy.pictureCalls, 0);
    }
}

TEST_F(RibbonIcon, FailedStepsReleaseWhatTheyHold) {
    struct Case {
        const char* what;
        void (*arrange)();
        // startups: the successful ones
        int startupCalls, startups, conversions, pictureCalls, mallocFailures;
    };
    const Case cases[] = {
        {"startup fails", [] { spy.failStartup = true; }, 1, 0, 0, 0, 0},
        {"no memory for the bitmap wrapper", [] { spy.failAlloc = true; }, 1, 1, 0, 0, 0},
        {"conversion stores nothing",  //
         [] { spy.conversion = Conversion::FailEmpty; }, 1, 1, 1, 0, 0},
        {"conversion fails after storing a handle",
         [] { spy.conversion = Conversion::FailWithHandle; }, 1, 1, 1, 0, 0},
        {"picture cannot be made", [] { spy.failPicture = true; }, 1, 1, 1, 1, 0},
        {"no memory for the wide path", [] { spy.failMalloc = true; }, 0, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        CASE_TRACE(c.what);
        // Long enough that the wide path cannot live inside the string object itself.
        const std::string path = files.path("icon.png");
        spy = Spy{};
        c.arrange();
        IPictureDisp* picture = load(path.c_str());
        EXPECT_EQ(picture, nullptr);
        EXPECT_EQ(spy.startupCalls, c.startupCalls);
        EXPECT_EQ(spy.startups, c.startups);
        EXPECT_EQ(spy.shutdowns, c.startups);
        EXPECT_EQ(spy.frees, spy.allocs);
        EXPECT_EQ(spy.conversions, c.conversions);
        EXPECT_EQ(spy.pictureCalls, c.pictureCalls);
        if (c.pictureCalls) {
            EXPECT_EQ(spy.shutdownsAtPicture, 1);
        }
        EXPECT_FALSE(alive(spy.converted)) << "bitmap handle leaked";
        EXPECT_EQ(spy.mallocFailures, c.mallocFailures);
    }
}

TEST_F(RibbonIcon, PictureFromBitmapOwnsTheHandle) {
    HMODULE program = GetModuleHandle(nullptr);
    // Its original is the same system function as the library's, so real.createPicture serves both.
    const std::vector<ImportPatch> own = {
        importPatch("oleaut32.dll", "OleCreatePictureIndirect", &createPicture, &real.createPicture)};
    applyPatches(program, own);

    EXPECT_EQ(PictureFromBitmap(nullptr), nullptr);
    EXPECT_EQ(spy.pictureCalls, 0);

    for (bool fail : {false, true}) {
        CASE_TRACE(fail ? "picture fails" : "picture made");
        spy = Spy{};
        spy.failPicture = fail;
        const HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
        ASSERT_TRUE(alive(bitmap));
        IPictureDisp* picture = PictureFromBitmap(bitmap);
        EXPECT_EQ(spy.pictureCalls, 1);
        EXPECT_EQ(spy.description.bmp.hbitmap, bitmap);
        EXPECT_TRUE(spy.pictureDisp && spy.owns);
        EXPECT_EQ(picture == nullptr, fail);
        if (picture) {
            EXPECT_EQ(low32(handleOf(picture)), low32(bitmap));
            EXPECT_TRUE(alive(bitmap));
            picture->Release();
        }
        EXPECT_FALSE(alive(bitmap));
    }
    restoreImportPatches(program, own);
}

// Damaged copies of every image: nothing crashes, every bitmap handle made ends up owned by a
// picture or released, and every GDI+ start-up is matched by its shut-down. Each copy has a file
// of its own: the platform's decoder keeps some damaged bitmap files open after failing on them.
TEST_F(RibbonIcon, DamagedImagesLeakNothing) {
    std::vector<Bytes> originals;
    for (const char* name : {"icon.png", "icon.ico", "icon.bmp", "icon.gif"})
        originals.push_back(readBytes(files.path(name)));
    std::mt19937 random(20240611);
    const DWORD gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    int pictures = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes bytes = originals[round % originals.size()];
        const size_t size = bytes.size();
        switch (random() % 3) {
            case 0:  // one byte of the second half changed: often still an image
                bytes[size / 2 + random() % (size - size / 2)] = static_cast<char>(random());
                break;
            case 1:  // cut short
                bytes.resize(random() % size);
                break;
            default:  // a run overwritten
                for (size_t at = random() % size, n = 1 + random() % 32; n > 0 && at < size;
                     --n, ++at)
                    bytes[at] = static_cast<char>(random());
        }
        const std::string path = files.path(("damaged" + std::to_string(round)).c_str());
        writeBytes(path, bytes);
        ASSERT_EQ(readBytes(path), bytes);
        spy.converted = nullptr;
        IPictureDisp* picture = load(path.c_str());
        const HBITMAP bitmap = spy.converted;
        if (picture) {
            ++pictures;
            EXPECT_EQ(low32(handleOf(picture)), low32(bitmap)) << "round " << round;
            picture->Release();
        }
        ASSERT_FALSE(alive(bitmap)) << "round " << round;
        DeleteFileA(path.c_str());
    }
    EXPECT_EQ(spy.startups, spy.shutdowns);
    EXPECT_EQ(spy.allocs, spy.frees);
    EXPECT_GT(pictures, 0) << "no damaged image decoded: the damage is too heavy to test much";
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiObjects);
}

TEST_F(RibbonIcon, RemovesItsArgumentInThirtyTwoBit) {
    const std::string path = files.path("icon.png");
    for (const char* p : {path.c_str(), static_cast<const char*>(nullptr)}) {
        const ProbedCall call = callProbed(reinterpret_cast<const void*>(load), {arg(p)});
        auto* picture = reinterpret_cast<IPictureDisp*>(call.result);
        EXPECT_EQ(picture != nullptr, p != nullptr);
        if (picture) picture->Release();
        if (kIs32Bit) {
            EXPECT_EQ(call.bytesRemoved, 4);
        }
    }
}

}  // namespace
