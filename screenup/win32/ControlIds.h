// The control identifiers of the Windows front end's windows, by which a
// program finds them (GetDlgItem) as it finds the windows by caption. The
// editors' accepting and cancelling buttons are IDOK and IDCANCEL, so Enter
// and Esc press them.
#pragma once

enum : int {
    // Form1: row i's controls are the base plus i.
    kCheck1 = 100,
    kTxtPath = 110,
    kBtnBrw = 120,
    kCmdEdit = 130, // rows 3, 4 and 5 only
    kCombo1 = 140,
    kCommand1 = 141, // "save"
    kCommand2 = 142, // "Upload"
    kCommand3 = 143, // "Load theme"
    kFrame1 = 144,   // "Debug"
    kFrame2 = 145,   // "Pictures"
    kLstDebug = 146,
    kStatusBar1 = 147,
    // frmProgress.
    kProgressBar1 = 200,
    kProgressBar2 = 201,
    // frmPalette: cell i is kCol + i; "&Ok" IDOK, "&Cancel" IDCANCEL.
    kPaletteFrame1 = 300,
    kCol = 310,
    kSlider1 = 330,
    kAlphaLabel = 331,
    // frmSize: field i is kTxtSize + i, its label kLabel1 + i; "oK" IDOK, "Cancel" IDCANCEL.
    kSizeCheck1 = 400,
    kSizeFrame1 = 401,
    kLabel1 = 410,
    kTxtSize = 420,
};
