// Ribbon pictures: an image file decoded by GDI+, flattened onto transparent black and wrapped
// in an OLE picture that owns the resulting bitmap handle.
#include "ribbon_icon.h"

#include <windows.h>
#include <gdiplus.h>

#include <exception>
#include <string>

#include "ansi_to_wide.h"

static_assert(sizeof(PICTDESC) == (sizeof(void*) == 8 ? 24 : 20),
              "the picture record must have the platform's layout");

IPictureDisp* PictureFromBitmap(HBITMAP bitmap) {
    if (!bitmap) return nullptr;
    PICTDESC description = {};
    description.cbSizeofstruct = sizeof(PICTDESC);
    description.picType = PICTYPE_BITMAP;
    description.bmp.hbitmap = bitmap;
    description.bmp.hpal = nullptr;
    IPictureDisp* picture = nullptr;
    if (OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                 reinterpret_cast<void**>(&picture)) != S_OK) {
        DeleteObject(bitmap);  // no picture took it over
        return nullptr;
    }
    return picture;
}

extern "C" IPictureDisp* WINAPI WINAPI_LoadRibbonIcon(LPCSTR path) {
    std::wstring widePath;
    try {
        widePath = AnsiToWide(path);
    } catch (const std::exception&) {  // out of memory: the caller only ever sees a null result
        return nullptr;
    }
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return nullptr;

    HBITMAP bitmap = nullptr;
    Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        // Built with -fcheck-new: the wrapper's allocator returns null rather than throwing.
        Gdiplus::Bitmap* image = Gdiplus::Bitmap::FromFile(widePath.c_str(), FALSE);
        if (image) {
            if (image->GetLastStatus() == Gdiplus::Ok &&
                image->GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &bitmap) != Gdiplus::Ok && bitmap) {
                // A handle from a failed conversion may hold anything: don't hand it out.
                DeleteObject(bitmap);
                bitmap = nullptr;
            }
            delete image;
        }
        Gdiplus::GdiplusShutdown(token);
    }
    // The handle outlives GDI+, so it is wrapped only after the shut-down.
    return PictureFromBitmap(bitmap);
}
