#include "frmPalette.h"

#include "ControlIds.h"
#include "ScreenupTexts.h"
#include "WinPrompts.h"
#include "WinText.h"

#include <commctrl.h>

#include <algorithm>

namespace {

// Cells of 40 x 40 pixels, 4 apart, inside a frame with a margin of 12.
constexpr int kCell = 40;
constexpr int kSpacing = 4;
constexpr int kMargin = 12;
constexpr int kGrid = 4 * kCell + 3 * kSpacing;
constexpr int kFrameWidth = kGrid + 2 * kMargin;
constexpr int kFrameHeight = kMargin + kGrid + 8 + 30 + 8 + 26 + kMargin;

} // namespace

bool frmPalette::Open(HWND owner) {
    return Create(std::string(PaletteCaption), WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, owner, kFrameWidth + 24,
                  kFrameHeight + 24);
}

void frmPalette::Build() {
    AddControl(L"BUTTON", "", BS_GROUPBOX, kPaletteFrame1);
    for (int i = 0; i < static_cast<int>(PaletteEntryCount); ++i)
        AddControl(L"STATIC", "", SS_OWNERDRAW | SS_NOTIFY, kCol + i);
    AddControl(L"STATIC", std::string(AlphaCaption), SS_LEFT, kAlphaLabel);
    const HWND slider = AddControl(TRACKBAR_CLASSW, "", WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM, kSlider1);
    ::SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, AlphaMax));
    ::SendMessageW(slider, TBM_SETPAGESIZE, 0, 1);
    AddControl(L"BUTTON", std::string(PaletteOkCaption), WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    AddControl(L"BUTTON", std::string(PaletteCancelCaption), WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);

    tips_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, Instance(), nullptr);
    for (int i = 0; i < static_cast<int>(PaletteEntryCount); ++i) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(Item(kCol + i));
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void frmPalette::Layout() {
    // The frame stays centred in the window whatever its size.
    const SIZE client = ClientSize();
    const int left = std::max(0, (static_cast<int>(client.cx) - kFrameWidth) / 2);
    const int top = std::max(0, (static_cast<int>(client.cy) - kFrameHeight) / 2);
    Place(kPaletteFrame1, left, top, kFrameWidth, kFrameHeight);
    for (int i = 0; i < static_cast<int>(PaletteEntryCount); ++i)
        Place(kCol + i, left + kMargin + (i % 4) * (kCell + kSpacing), top + kMargin + (i / 4) * (kCell + kSpacing),
              kCell, kCell);
    const int sliderTop = top + kMargin + kGrid + 8;
    Place(kAlphaLabel, left + kMargin, sliderTop + 6, 40, 18);
    Place(kSlider1, left + kMargin + 44, sliderTop, kGrid - 44, 30);
    const int buttonTop = sliderTop + 30 + 8;
    const int buttonWidth = (kGrid - 8) / 2;
    Place(IDOK, left + kMargin, buttonTop, buttonWidth, 26);
    Place(IDCANCEL, left + kMargin + buttonWidth + 8, buttonTop, buttonWidth, 26);
}

void frmPalette::ShowCell(int entry, const TPaletteCell &cell) {
    tipTexts_[static_cast<std::size_t>(entry)] = Wide(cell.ToolTip);
    ::InvalidateRect(Item(kCol + entry), nullptr, TRUE);
}

void frmPalette::ShowAlpha(int value) {
    // TBM_SETPOS sends no notification: showing the alpha is not a change of it.
    ::SendMessageW(Item(kSlider1), TBM_SETPOS, TRUE, value);
}

std::optional<TRgb> frmPalette::ChooseColor(TRgb start) {
    const std::optional<COLORREF> chosen = ::PickColor(Handle(), RGB(start.Red, start.Green, start.Blue));
    if (!chosen || !Exists())
        return std::nullopt;
    return TRgb{GetRValue(*chosen), GetGValue(*chosen), GetBValue(*chosen)};
}

void frmPalette::Warn(const std::string &utf8) {
    ShowMessage(Handle(), TNotice::Warning, Wide(utf8));
}

void frmPalette::Present() {
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
}

void frmPalette::DrawCell(const DRAWITEMSTRUCT &item) const {
    const TPaletteCell &cell = presenter_.Model().Cell(static_cast<int>(item.CtlID) - kCol);
    RECT area = item.rcItem;
    const HBRUSH fill = ::CreateSolidBrush(RGB(cell.Red, cell.Green, cell.Blue));
    if (cell.Raised) {
        // The selected cell: a raised 3-D border.
        ::FillRect(item.hDC, &area, fill);
        ::DrawEdge(item.hDC, &area, EDGE_RAISED, BF_RECT);
    } else {
        // The others: a flat single line.
        ::FillRect(item.hDC, &area, fill);
        ::FrameRect(item.hDC, &area, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    }
    ::DeleteObject(fill);
}

LRESULT frmPalette::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDOK) {
            presenter_.Ok();
        } else if (id == IDCANCEL) {
            presenter_.Cancel();
        } else if (id >= kCol && id < kCol + static_cast<int>(PaletteEntryCount)) {
            // The press that begins a double click selects the cell first.
            if (code == STN_CLICKED)
                presenter_.Select(id - kCol);
            else if (code == STN_DBLCLK)
                presenter_.PickColor(id - kCol);
        }
        return 0;
    }
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == Item(kSlider1))
            presenter_.AlphaMoved(static_cast<int>(::SendMessageW(Item(kSlider1), TBM_GETPOS, 0, 0)));
        return 0;
    case WM_DRAWITEM:
        DrawCell(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
        return TRUE;
    case WM_NOTIFY: {
        auto *header = reinterpret_cast<NMHDR *>(lParam);
        if (header->hwndFrom == tips_ && header->code == TTN_GETDISPINFOW) {
            auto *info = reinterpret_cast<NMTTDISPINFOW *>(lParam);
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(header->idFrom));
            if (id >= kCol && id < kCol + static_cast<int>(PaletteEntryCount))
                info->lpszText = tipTexts_[static_cast<std::size_t>(id - kCol)].data();
        }
        return 0;
    }
    case WM_CLOSE:
        presenter_.Cancel();
        return 0;
    default:
        return TWinWindow::Message(message, wParam, lParam);
    }
}
