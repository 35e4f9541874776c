#include "gui/icon_win.hpp"

#include "gui/icon.hpp"

namespace tess::ui {

int system_icon_size(bool small, int dpi) {
    const int metric = small ? SM_CXSMICON : SM_CXICON;
    return icon_size_from_metric(dpi > 0 ? ::GetSystemMetricsForDpi(metric, static_cast<UINT>(dpi))
                                         : ::GetSystemMetrics(metric));
}

Icon load_icon(HINSTANCE module, int resource, int size) {
    Icon icon(
        static_cast<HICON>(::LoadImageW(module ? module : ::GetModuleHandleW(nullptr),
                                        MAKEINTRESOURCEW(resource), IMAGE_ICON, size, size, 0)));
    if (icon) return icon;
    return drawn_icon(resource > kAppIcon ? resource - 2 : 0, size);
}

Icon drawn_icon(int level, int size) {
    const DrawnIconImage img = drawn_icon_image(level, size);
    const win::unique_hbitmap colour(::CreateBitmap(img.size, img.size, 1, 32, img.argb.data()));
    const win::unique_hbitmap mask(::CreateBitmap(img.size, img.size, 1, 1, img.mask.data()));
    if (!colour || !mask) return {};
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour.get();
    info.hbmMask = mask.get();
    return Icon(::CreateIconIndirect(&info));
}

}  // namespace tess::ui
