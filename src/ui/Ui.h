// A small window toolkit on plain Win32 (user32, gdi32, comctl32).
//
// It gives the main window what it needs and nothing more: an application
// object with a message loop, a form with create/activate/paint events,
// group boxes, a drop-down list, a read-only edit, a list box, buttons with
// two-image glyphs, a status bar with one panel and a progress bar, and the
// simple message dialog. Only functions that both Windows families have are
// used.
#pragma once
#include <windows.h>

class TForm;

// One child control. Position is relative to the parent's client area.
class TControl {
public:
    TControl(TControl *parent, int left, int top, int width, int height);
    virtual ~TControl();
    TControl(const TControl &) = delete;
    TControl &operator=(const TControl &) = delete;

    HWND Handle;
    TControl *Parent;
    int Left, Top, Width, Height;
    int TabOrder;

    bool GetEnabled() const;
    void SetEnabled(bool enabled);
    void Repaint();  // paints the control now, even while a handler runs
    void SetText(const char *text);
    // Copies the control's text (at most size - 1 characters); returns its length.
    int GetText(char *buffer, int size) const;

    // Window messages routed to the control's owner (WM_COMMAND, WM_NOTIFY).
    virtual void Command(WORD code);
};

class TGroupBox : public TControl {
public:
    TGroupBox(TControl *parent, int left, int top, int width, int height, const char *caption);
};

// Drop-down list: the user picks an item, there is no text entry.
class TComboBox : public TControl {
public:
    TComboBox(TControl *parent, int left, int top, int width, int height, int itemHeight);
    int ItemCount() const;
    void AddItem(const char *text);
    int GetItemIndex() const;         // -1 when nothing is selected
    void SetItemIndex(int index);     // -1 clears the selection
    // Text of item index (empty when out of range); returns its length.
    int GetItemText(int index, char *buffer, int size) const;
    void (*OnChange)(void *owner);    // the user picked an entry
    void *OnChangeOwner;
    void Command(WORD code) override;
};

class TEdit : public TControl {
public:
    TEdit(TControl *parent, int left, int top, int width, int height, bool readOnly);
};

class TListBox : public TControl {
public:
    TListBox(TControl *parent, int left, int top, int width, int height, int itemHeight);
    int Count() const;
    void Add(const char *text);
    int GetItemIndex() const;
    void SetItemIndex(int index);     // selects and scrolls into view; -1 clears
    int GetItemText(int index, char *buffer, int size) const;
};

// Push button with a glyph: a 32 x 16 bitmap holding the normal image and
// the disabled image; the colour of its bottom-left pixel is transparent.
class TBitBtn : public TControl {
public:
    TBitBtn(TControl *parent, int left, int top, int width, int height, const char *caption,
            int glyphResource);
    ~TBitBtn() override;
    void (*OnClick)(void *owner);
    void *OnClickOwner;
    void Command(WORD code) override;
    HBITMAP Glyph;
};

class TProgressBar : public TControl {
public:
    TProgressBar(TControl *parent, int left, int top, int width, int height);
    void SetMin(int value);
    void SetMax(int value);
    int GetMin() const;
    int GetMax() const;
    void SetPosition(int value);
    int GetPosition() const;
};

// Status bar with one text panel.
class TStatusBar : public TControl {
public:
    TStatusBar(TControl *parent, int height);
    void SetPanelText(int panel, const char *text);
    int GetPanelText(int panel, char *buffer, int size) const;
    void (*OnDblClick)(void *owner);
    void *OnDblClickOwner;
};

// A top-level, fixed-size window. Derived forms build their controls in
// their constructor and receive the create, activate and paint events.
class TForm : public TControl {
public:
    TForm();
    ~TForm() override;
    // Creates the window with the given client size and screen position.
    void CreateWindowFixed(int clientWidth, int clientHeight, int left, int top, int iconResource);
    void SetCaption(const char *caption);
    int GetCaption(char *buffer, int size) const;
    void Show();
    void Close();  // posts the close; the message loop ends when the main form closes

    virtual void FormCreate(void *sender) = 0;
    virtual void FormActivate(void *sender) = 0;
    virtual void FormPaint(void *sender) = 0;

    HFONT Font;  // "MS Sans Serif" 8 pt, shared by every control of the form
};

class TApplication {
public:
    TApplication();
    void Initialize();                  // common controls, window classes
    void SetTitle(const char *title);   // the task-bar text
    const char *GetTitle() const;
    // Makes the form the main form: creates its window, runs its FormCreate,
    // shows it.
    void CreateForm(TForm *form);
    void Run();                         // message loop until the main form closes
    void ProcessMessages();             // handles every pending message, then returns
    void ShowException(const char *message);
    HWND MainWindow() const;
    bool Terminated;
private:
    char Title[64];
    TForm *MainForm;
};

extern TApplication *Application;

// The simple message dialog: modal, one OK button, the application title as
// caption, no owner. Goes through Os.MessageBoxA.
void ShowMessage(const char *text);
