// A small window toolkit on plain Win32 (user32, gdi32, comctl32).
//
// It gives the main window what it needs and nothing more: an application
// object with a message loop, a form with create/activate/paint events,
// group boxes, a drop-down list, a read-only edit, a list box, buttons with
// two-image glyphs, a status bar with one panel and a progress bar, and the
// simple message dialog. Only functions that both Windows families (98 and
// NT 4.0) have are used.
//
// Every control is a real window. Its object is found from its window
// through a window property, so notifications (WM_COMMAND, WM_NOTIFY,
// WM_DRAWITEM) reach the control's object whichever window is its parent,
// a group box or a status bar included. Tab order is the order of the
// sibling windows; the message loop runs IsDialogMessage on the main form,
// which gives Tab, Shift+Tab and the Alt+letter mnemonics of the buttons.
#pragma once
#include <windows.h>

class TForm;
class TControl;

// An event handler: a function of the owner's, called with the control that
// fired. MakeEvent<TForm1, &TForm1::BitBtn2Click>(form) binds one.
struct TNotifyEvent {
    void (*Handler)(void *owner, void *sender) = nullptr;
    void *Owner = nullptr;
    void operator()(void *sender) const;  // handler exceptions are shown, not thrown
};

template <class T, void (T::*Method)(void *)>
TNotifyEvent MakeEvent(T *owner) {
    TNotifyEvent e;
    e.Owner = owner;
    e.Handler = [](void *o, void *sender) { (static_cast<T *>(o)->*Method)(sender); };
    return e;
}

// One window. Position is relative to the parent's client area.
class TControl {
public:
    TControl(TControl *parent, int left, int top, int width, int height);
    virtual ~TControl();  // destroys the window if it still exists
    TControl(const TControl &) = delete;
    TControl &operator=(const TControl &) = delete;

    HWND Handle;
    TControl *Parent;
    int Left, Top, Width, Height;
    int TabOrder;  // position among the tab stops of the parent; see SetTabOrder

    bool GetEnabled() const;
    void SetEnabled(bool enabled);
    void Repaint();  // paints the control now, even while a handler runs
    void SetText(const char *text);
    // Copies the control's text (at most size - 1 characters); returns its length.
    int GetText(char *buffer, int size) const;
    // Moves the window among its siblings so that Tab visits the parent's
    // children in increasing TabOrder.
    void SetTabOrder(int order);

    // Notifications from the window, routed to the control's object.
    virtual void Command(WORD code);              // WM_COMMAND notification code
    virtual void Notify(UINT code);               // WM_NOTIFY code
    virtual void DrawItem(const DRAWITEMSTRUCT &item);  // owner-drawn controls

    // The object of a window made by this toolkit; null for any other window.
    static TControl *FromHandle(HWND window);

protected:
    TControl();  // for forms, which make their own window
    // Creates the window as a child of Parent with the form's font, and
    // hooks it so that its notifications come back to this object.
    void CreateChild(DWORD exStyle, const char *className, const char *text, DWORD style);
    // Window procedure of a child: the hooks that the control needs; returns
    // true when it handled the message (result in 'result').
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result);
    // Passes notifications of child windows to their objects; true if handled.
    static bool RouteNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result);
    TForm *OwnerForm() const;

    WNDPROC OldProc;

private:
    static LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    friend class TForm;
};

// Frame with a caption; may hold other controls.
class TGroupBox : public TControl {
public:
    TGroupBox(TControl *parent, int left, int top, int width, int height, const char *caption);
protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) override;
};

// Drop-down list: the user picks an item, there is no text entry. GetText
// gives the selected item's text (empty when nothing is selected).
class TComboBox : public TControl {
public:
    // height: of the closed box; the drop-down list shows up to eight items.
    TComboBox(TControl *parent, int left, int top, int width, int height, int itemHeight);
    int ItemCount() const;
    void AddItem(const char *text);
    void Clear();
    int GetItemIndex() const;         // -1 when nothing is selected
    void SetItemIndex(int index);     // -1 clears the selection; fires no OnChange
    // Text of item index (empty when out of range); returns its length.
    int GetItemText(int index, char *buffer, int size) const;
    TNotifyEvent OnChange;            // the user picked an entry
    void Command(WORD code) override;
};

// Single-line edit. Read-only keeps the normal window colour.
class TEdit : public TControl {
public:
    TEdit(TControl *parent, int left, int top, int width, int height, bool readOnly);
};

class TListBox : public TControl {
public:
    TListBox(TControl *parent, int left, int top, int width, int height, int itemHeight);
    int Count() const;
    void Add(const char *text);
    void Clear();
    int GetItemIndex() const;         // -1 when nothing is selected
    void SetItemIndex(int index);     // selects and scrolls into view; -1 clears
    int GetItemText(int index, char *buffer, int size) const;
    int GetTopIndex() const;          // first visible line
};

// Push button with a glyph: a 32 x 16 bitmap holding the normal image and
// the disabled image; the colour of its bottom-left pixel is transparent.
// A '&' in the caption underlines the next letter, and Alt with that letter
// presses the button.
class TBitBtn : public TControl {
public:
    TBitBtn(TControl *parent, int left, int top, int width, int height, const char *caption,
            int glyphResource);
    ~TBitBtn() override;
    void Click();                     // as if pressed
    TNotifyEvent OnClick;
    void Command(WORD code) override;
    void DrawItem(const DRAWITEMSTRUCT &item) override;
    HBITMAP Glyph;                    // null when the resource is missing
protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) override;
};

// Smooth progress bar. The position and range are kept here as well, since
// the oldest common controls cannot report them.
class TProgressBar : public TControl {
public:
    TProgressBar(TControl *parent, int left, int top, int width, int height);
    void SetMin(int value);
    void SetMax(int value);
    int GetMin() const;
    int GetMax() const;
    void SetPosition(int value);      // kept within the range
    int GetPosition() const;
private:
    int Min, Max, Position;
    void SendRange();
};

// Status bar with one text panel over its whole width, docked to the bottom
// of the parent with the given height. Other controls may be put on it.
class TStatusBar : public TControl {
public:
    TStatusBar(TControl *parent, int height);
    void SetPanelText(int panel, const char *text);
    int GetPanelText(int panel, char *buffer, int size) const;
    TNotifyEvent OnDblClick;
    void Notify(UINT code) override;
};

// A top-level, fixed-size window: single border, system menu, minimize box,
// no maximize box, the button-face colour. A derived form calls
// CreateWindowFixed in its constructor, then builds its controls; the
// application then runs FormCreate and shows it. FormActivate runs each
// time the window becomes active, FormPaint each time it paints.
class TForm : public TControl {
public:
    TForm();
    ~TForm() override;
    // Creates the (hidden) window with the given window class name, client
    // size, screen position and icon resource.
    void CreateWindowFixed(const char *className, int clientWidth, int clientHeight, int left,
                           int top, int iconResource);
    void SetCaption(const char *caption);
    int GetCaption(char *buffer, int size) const;
    void Show();
    // Asks the window to close (posted, so it is safe from any handler).
    // Closing the main form ends the message loop; the window itself stays
    // until the form is destroyed.
    void Close();

    virtual void FormCreate(void *sender) = 0;
    virtual void FormActivate(void *sender) = 0;
    virtual void FormPaint(void *sender) = 0;

    HFONT Font;  // "MS Sans Serif" 8 pt, shared by every control of the form

private:
    HWND LastFocus;  // given back the focus when the window is activated again
    static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT FormMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

class TApplication {
public:
    // Nothing is done at construction, so the object is usable (ShowMessage)
    // from any static constructor.
    constexpr TApplication() : Terminated(false), Title{}, MainForm(nullptr) {}
    void Initialize();                  // the common controls
    void SetTitle(const char *title);   // caption of ShowMessage and ShowException
    const char *GetTitle();             // the program file's name until set
    // Makes the form the main form if there is none yet, runs its
    // FormCreate, and shows it.
    void CreateForm(TForm *form);
    void Run();                         // message loop until the main form closes
    void ProcessMessages();             // handles every pending message, then returns
    void Terminate();                   // the message loop ends after the current message
    // Shows a failure that reached the application: a message box with the
    // text, the title as caption and the stop icon.
    void ShowException(const char *message);
    HWND MainWindow() const;
    TForm *GetMainForm() const { return MainForm; }
    void FormDestroyed(TForm *form);    // called by a form as it is destroyed
    bool Terminated;
private:
    char Title[64];
    TForm *MainForm;
    void Dispatch(MSG &message);
};

extern TApplication *Application;

// The simple message dialog: task-modal, one OK button, the application
// title as caption, no owner window. Goes through Os.MessageBoxA.
void ShowMessage(const char *text);
