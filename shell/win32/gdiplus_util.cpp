#include "shell/win32/gdiplus_util.h"

#include <map>
#include <memory>

#include "shell/win32/ui.h"

namespace win32_shell {

namespace {

std::map<int, std::unique_ptr<Gdiplus::Bitmap>>& pictures() {
    static std::map<int, std::unique_ptr<Gdiplus::Bitmap>> p;
    return p;
}

std::unique_ptr<Gdiplus::Bitmap> load_picture(int id) {
    HRSRC found = FindResourceW(ui().instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found) return nullptr;
    const DWORD size = SizeofResource(ui().instance, found);
    HGLOBAL loaded = LoadResource(ui().instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;
    // The stream owns a copy: GDI+ may read from it for the bitmap's whole life.
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return nullptr;
    if (void* target = GlobalLock(copy)) {
        CopyMemory(target, bytes, size);
        GlobalUnlock(copy);
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        GlobalFree(copy);
        return nullptr;
    }
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok) return nullptr;
    // A clone in memory: the stream can go, and the picture is drawn at its pixel size
    // wherever its file said otherwise.
    const int w = static_cast<int>(decoded->GetWidth());
    const int h = static_cast<int>(decoded->GetHeight());
    auto owned = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppPARGB);
    if (owned->GetLastStatus() != Gdiplus::Ok) return nullptr;
    owned->SetResolution(96.0f, 96.0f);
    {
        Gdiplus::Graphics g(owned.get());
        g.DrawImage(decoded.get(), Gdiplus::Rect(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
    }
    return owned;
}

std::unique_ptr<Gdiplus::FontFamily>& family_slot(Face face) {
    static std::unique_ptr<Gdiplus::FontFamily> serif, plain;
    return face == Face::serif ? serif : plain;
}

}  // namespace

Gdiplus::Bitmap* picture(int id) {
    auto& all = pictures();
    auto it = all.find(id);
    if (it == all.end()) it = all.emplace(id, load_picture(id)).first;  // a miss is kept too
    return it->second.get();
}

void release_pictures() { pictures().clear(); }

const Gdiplus::FontFamily* font_family(Face face) {
    auto& slot = family_slot(face);
    if (slot) return slot.get();
    static const wchar_t* const serif_names[] = {L"Georgia", L"Times New Roman", L"DejaVu Serif", L"Liberation Serif",
                                                 L"Tahoma"};
    static const wchar_t* const ui_names[] = {L"Segoe UI", L"Tahoma", L"Arial", L"DejaVu Sans", L"Liberation Sans"};
    for (const wchar_t* name : face == Face::serif ? serif_names : ui_names) {
        auto f = std::make_unique<Gdiplus::FontFamily>(name);
        if (f->GetLastStatus() == Gdiplus::Ok && f->IsAvailable()) {
            slot = std::move(f);
            return slot.get();
        }
    }
    const Gdiplus::FontFamily* generic =
        face == Face::serif ? Gdiplus::FontFamily::GenericSerif() : Gdiplus::FontFamily::GenericSansSerif();
    if (generic && generic->IsAvailable()) slot.reset(generic->Clone());
    return slot.get();
}

void release_font_families() {
    family_slot(Face::serif).reset();
    family_slot(Face::ui).reset();
}

}  // namespace win32_shell
