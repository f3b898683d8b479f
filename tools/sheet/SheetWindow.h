#pragma once
// The sheet's window: the application title, a message line, the search field, and two views
// (the menus of the target, the system shortcuts) with their groups laid out in columns.
// Every text from the helper is shown as plain text, never as markup.

#include <gtkmm/applicationwindow.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/stack.h>
#include <gtkmm/stackswitcher.h>

#include <functional>
#include <string>

#include "sheet/SheetModel.h"

namespace kivora::sheet {

enum class View { Menus, System };

class SheetWindow : public Gtk::ApplicationWindow {
public:
    SheetWindow();

    // A message above the sheet ("Reading Editor…", what to do when something is missing);
    // empty hides it. `alert` shows it as a warning banner.
    void setMessage(const std::string& text, bool alert = false);
    void setTitleText(const std::string& title);
    // Replaces the content of one view; the search filter stays and applies.
    void showSheet(View view, Sheet sheet);
    View currentView() const;
    // Calls `then` once, after the next frame has been painted.
    void whenPainted(std::function<void()> then);

    // A click or Enter on an item of a view.
    std::function<void(View, const Item&)> onChosen;
    // The user switched to the system view for the first time.
    std::function<void()> onSystemViewShown;

    // At most this many items become widgets; the rest is reached by searching.
    static constexpr std::size_t kMaxShownItems = 400;

private:
    struct Page {
        Gtk::ScrolledWindow scroller;
        Gtk::Box content{Gtk::Orientation::VERTICAL, 8};
        Gtk::Label note;  // how many items the columns leave out, or that none matches
        Gtk::Box columns{Gtk::Orientation::HORIZONTAL, 24};
        Sheet sheet;
        Gtk::Button* first = nullptr;  // the first item shown, for Enter in the search field
    };

    void rebuild(View view);
    Gtk::Widget* groupWidget(View view, const Group& group, std::size_t& budget, Page& page);
    Page& page(View view) { return view == View::Menus ? menus_ : system_; }
    std::size_t columnCount() const;
    bool onKey(guint keyval, guint keycode, Gdk::ModifierType state);
    void chooseFirstMatch();

    Gtk::Box layout_{Gtk::Orientation::VERTICAL, 8};
    Gtk::Label title_;
    Gtk::Label message_;
    Gtk::Box bar_{Gtk::Orientation::HORIZONTAL, 12};
    Gtk::SearchEntry search_;
    Gtk::StackSwitcher switcher_;
    Gtk::Stack stack_;
    Page menus_;
    Page system_;
    bool systemShown_ = false;
};

}  // namespace kivora::sheet
