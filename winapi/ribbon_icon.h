#pragma once
#include <windows.h>
#include <olectl.h>

// Wraps a GDI bitmap in a new OLE picture that takes ownership of it. The handle is consumed
// either way: when no picture can be made it is deleted here, since nothing else would own it.
// A null handle gives null.
IPictureDisp* PictureFromBitmap(HBITMAP bitmap);
