#include "screenresources.h"

#include "screenerror.h"

#include <string>

namespace {

constexpr std::array<TScreenResource, ResourceCount> Resources = {{
    {0, "boot", "splash.fnt", TDialogKind::Picture, TEditorKind::None},
    {1, "radio", "radio.fnt", TDialogKind::Picture, TEditorKind::None},
    {2, "setup", "setup.fnt", TDialogKind::Picture, TEditorKind::None},
    {3, "setup lut", "setup.lut", TDialogKind::Palette, TEditorKind::Palette},
    {4, "bandeau", "bandeau.pan", TDialogKind::Panel, TEditorKind::Size},
    {5, "basic lut", "basic.lut", TDialogKind::Palette, TEditorKind::Palette},
}};

constexpr TDialogInfo PictureDialog = {"Choose Picture (must NO be packed)", "Mpeg2 files (*.fnu;*.m2v)|*.fnu;*.m2v",
                                       "Mpeg2 files (*.fnu;*.m2v)", "*.fnu;*.m2v"};
constexpr TDialogInfo PaletteDialog = {"Choose Palette (must NO be packed)", "Palette files (*.lut)|*.lut",
                                       "Palette files (*.lut)", "*.lut"};
constexpr TDialogInfo PanelDialog = {"Choose Palette (MUST be packed)", "Pannels (*.pan)|*.pan", "Pannels (*.pan)",
                                     "*.pan"};

} // namespace

const std::array<TScreenResource, ResourceCount> &ScreenResources() {
    return Resources;
}

const TScreenResource &ScreenResource(std::size_t index) {
    if (index >= ResourceCount)
        throw EScreenSet("No screen resource number " + std::to_string(index));
    return Resources[index];
}

const TDialogInfo &DialogInfo(TDialogKind kind) {
    switch (kind) {
    case TDialogKind::Picture:
        return PictureDialog;
    case TDialogKind::Palette:
        return PaletteDialog;
    case TDialogKind::Panel:
        break;
    }
    return PanelDialog;
}
