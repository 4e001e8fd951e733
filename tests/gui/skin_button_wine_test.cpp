// skin_button_wine_test.cpp - a real skinned button under Wine, driven with
// the messages of its state table: its look, its repaint requests and the
// commands its parent receives.
#include "../../ui/ui.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int kButtonId = 4242;

struct Command {
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Command> Commands;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        Commands.push_back({wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class SkinButton : public testing::Test {
protected:
    // One parent for the whole suite: Wine takes a while to withdraw a
    // top-level window from the display, so it is made and destroyed once.
    static HWND parent;
    HWND button = NULL;
    ButtonSkin skin = {};

    static void SetUpTestSuite()
    {
        AppInstance = GetModuleHandleA(NULL);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = AppInstance;
        windowClass.lpszClassName = "SkinTestParent";
        RegisterClassA(&windowClass);
        parent = CreateWindowExA(0, "SkinTestParent", "parent", WS_POPUP | WS_VISIBLE, 10, 10,
                                 300, 200, NULL, NULL, AppInstance, NULL);
    }

    static void TearDownTestSuite() { DestroyWindow(parent); }

    void SetUp() override
    {
        ASSERT_NE((HWND)NULL, parent);
        skin.normalFace = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_FACE_NORMAL));
        skin.hotFace = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_FACE_HOT));
        skin.pressedFace = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_FACE_PRESSED));
        skin.background = (HBRUSH)GetStockObject(WHITE_BRUSH);
        skin.font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
        ASSERT_NE((HBITMAP)NULL, skin.normalFace);

        button = CreateWindowExA(0, "BUTTON", "Apply", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 20,
                                 20, 100, 30, parent, (HMENU)(INT_PTR)kButtonId, AppInstance,
                                 NULL);
        ASSERT_NE((HWND)NULL, button);
        HICON icon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_APPLY));
        EXPECT_EQ(0, AttachSkin(button, &skin, icon));
        Settle();
        Commands.clear();
    }

    void TearDown() override
    {
        DestroyWindow(button);
        DeleteObject(skin.normalFace);
        DeleteObject(skin.hotFace);
        DeleteObject(skin.pressedFace);
    }

    // Paints what is pending and drops posted messages (such as a leave
    // notice Wine posts at once because the real pointer is elsewhere), so
    // each step sees only the message it sends.
    void Settle()
    {
        UpdateWindow(button);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            if (message.message == WM_PAINT)
                DispatchMessageA(&message);
        ValidateRect(button, NULL);
    }

    int Visual() { return ((SkinButtonData *)GetWindowLongPtrA(button, GWLP_USERDATA))->visual; }

    bool RepaintRequested() { return GetUpdateRect(button, NULL, FALSE) != 0; }

    // Sends one message and reports (visual, repaint requested, commands sent).
    struct Step {
        int visual;
        bool repaint;
        size_t commands;
    };
    Step Send(UINT message, LRESULT *result = nullptr)
    {
        size_t before = Commands.size();
        LRESULT got = SendMessageA(button, message, 0, MAKELPARAM(10, 10));
        if (result)
            *result = got;
        Step step = {Visual(), RepaintRequested(), Commands.size() - before};
        Settle();
        return step;
    }
};

HWND SkinButton::parent = NULL;

void ExpectStep(int visual, bool repaint, size_t commands, const char *what, int line,
                int gotVisual, bool gotRepaint, size_t gotCommands)
{
    EXPECT_EQ(visual, gotVisual) << what << " (line " << line << "): visual";
    EXPECT_EQ(repaint, gotRepaint) << what << " (line " << line << "): repaint";
    EXPECT_EQ(commands, gotCommands) << what << " (line " << line << "): commands";
}

#define EXPECT_STEP(step_, visual_, repaint_, commands_, what_)                            \
    do {                                                                                     \
        auto got_ = (step_);                                                                 \
        ExpectStep(visual_, repaint_, commands_, what_, __LINE__, got_.visual, got_.repaint, \
                   got_.commands);                                                           \
    } while (0)

} // namespace

TEST_F(SkinButton, AttachMakesItOwnerDrawnAndSubclassed)
{
    EXPECT_EQ((LONG)BS_OWNERDRAW, GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK);
    EXPECT_EQ(WindowProcAsLong(SkinButtonProc), GetWindowLongPtrA(button, GWLP_WNDPROC));
    EXPECT_NE((WNDPROC)NULL, ButtonClassProc);
    EXPECT_EQ(VisualNormal, Visual());
}

TEST_F(SkinButton, StateTable)
{
    EXPECT_STEP(Send(WM_MOUSEMOVE), VisualHot, true, 0, "Normal + move");
    EXPECT_STEP(Send(WM_MOUSEMOVE), VisualHot, false, 0, "Hot + move");
    EXPECT_STEP(Send(WM_LBUTTONDOWN), VisualPressed, true, 0, "Hot + press");
    EXPECT_STEP(Send(WM_LBUTTONDOWN), VisualPressed, false, 0, "Pressed + press");
    LRESULT result = 1;
    EXPECT_STEP(Send(WM_MOUSEMOVE, &result), VisualPressed, false, 0, "Pressed + move");
    EXPECT_EQ(0, result);
    EXPECT_STEP(Send(WM_LBUTTONUP), VisualHot, true, 1, "Pressed + release");
    EXPECT_STEP(Send(WM_MOUSELEAVE), VisualNormal, true, 0, "Hot + leave");
    EXPECT_STEP(Send(WM_MOUSELEAVE), VisualNormal, false, 0, "Normal + leave");
    EXPECT_STEP(Send(WM_LBUTTONDOWN), VisualPressed, true, 0, "Normal + press");
    EXPECT_STEP(Send(WM_MOUSELEAVE), VisualNormal, true, 0, "Pressed + leave");
}

TEST_F(SkinButton, CommandIsSentWithCodeFiveAndTheButton)
{
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    ASSERT_EQ(1u, Commands.size());
    EXPECT_EQ(MAKEWPARAM(kButtonId, 5), Commands[0].wParam);
    EXPECT_EQ((LPARAM)button, Commands[0].lParam);
}

TEST_F(SkinButton, ReleaseAfterAPressElsewhereStillClicks)
{
    // The pointer comes in with the button already down: it turns Hot and the
    // release over it sends the command; it stays Hot.
    EXPECT_STEP(Send(WM_MOUSEMOVE), VisualHot, true, 0, "move in");
    EXPECT_STEP(Send(WM_LBUTTONUP), VisualHot, false, 1, "release");
    EXPECT_STEP(Send(WM_LBUTTONUP), VisualHot, false, 1, "release from Normal or Hot");
}

TEST_F(SkinButton, PressThenLeaveThenReleaseOutsideSendsNothing)
{
    Send(WM_LBUTTONDOWN);
    Send(WM_MOUSELEAVE);
    // The button never captured the mouse: the release goes elsewhere.
    EXPECT_EQ(GetCapture(), (HWND)NULL);
    EXPECT_EQ(0u, Commands.size());
    EXPECT_EQ(VisualNormal, Visual());
}

TEST_F(SkinButton, DoubleClickActsAsTwoClicks)
{
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    Send(WM_LBUTTONDBLCLK);
    Send(WM_LBUTTONUP);
    ASSERT_EQ(3u, Commands.size());
    for (const Command &command : Commands) {
        EXPECT_EQ(kButtonId, LOWORD(command.wParam));
        EXPECT_EQ(5, HIWORD(command.wParam)) << "BN_DOUBLECLICKED is 5 as well";
    }
}

TEST_F(SkinButton, OtherMessagesAnswerAsTheTableSays)
{
    LRESULT result = 0;
    Send(WM_ERASEBKGND, &result);
    EXPECT_EQ(1, result);
    result = 1;
    Send(WM_GETDLGCODE, &result);
    EXPECT_EQ(DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON, result) << "a button to the dialog keys";

    SetWindowTextA(button, "Changed");
    EXPECT_TRUE(RepaintRequested()) << "a new text repaints";
    char text[32];
    GetWindowTextA(button, text, sizeof text);
    EXPECT_STREQ("Changed", text);
    Settle();
    ShowWindow(button, SW_HIDE);
    ShowWindow(button, SW_SHOW);
    EXPECT_TRUE(RepaintRequested()) << "showing repaints";
}

TEST_F(SkinButton, PaintUsesTheFaceOfTheVisual)
{
    // A pixel of the face, away from icon and text, read back from the screen.
    auto pixel = [&] {
        RedrawWindow(button, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = GetDC(button);
        COLORREF colour = GetPixel(dc, 95, 15);
        ReleaseDC(button, dc);
        return colour;
    };
    auto facePixel = [&](HBITMAP face) {
        HDC dc = CreateCompatibleDC(NULL);
        HGDIOBJ previous = SelectObject(dc, face);
        COLORREF colour = GetPixel(dc, 95, 15);
        SelectObject(dc, previous);
        DeleteDC(dc);
        return colour;
    };
    EXPECT_EQ(facePixel(skin.normalFace), pixel());
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(facePixel(skin.hotFace), pixel());
    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(facePixel(skin.pressedFace), pixel());
    EXPECT_NE(facePixel(skin.normalFace), facePixel(skin.pressedFace));
}
