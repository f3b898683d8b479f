#include "sheet/SheetWindow.h"

#include <gdkmm/display.h>
#include <gdkmm/frameclock.h>
#include <gdkmm/monitor.h>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/eventcontrollerkey.h>
#include <pangomm/attrlist.h>

#include <algorithm>

namespace kivora::sheet {

namespace {

// Logical pixels; GTK scales them on high-density screens.
constexpr int kColumnWidth = 300;

void setAttributes(Gtk::Label& label, double scale, Pango::Weight weight) {
    Pango::AttrList attributes;
    auto scaleAttribute = Pango::Attribute::create_attr_scale(scale);
    auto weightAttribute = Pango::Attribute::create_attr_weight(weight);
    attributes.insert(scaleAttribute);
    attributes.insert(weightAttribute);
    label.set_attributes(attributes);
}

void describe(Gtk::Widget& widget, const std::string& label, const std::string& description) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   label.c_str(), GTK_ACCESSIBLE_PROPERTY_DESCRIPTION,
                                   description.c_str(), -1);
}

// Plain text only: a title such as "<b>Bold</b>" or "Fish & Chips" is shown as it is.
void setPlainText(Gtk::Label& label, const std::string& text) {
    label.set_use_markup(false);
    label.set_use_underline(false);
    label.set_text(text);
    describe(label, text, "");
}

Gtk::Label* plainLabel(const std::string& text, float xalign) {
    auto* label = Gtk::make_managed<Gtk::Label>();
    setPlainText(*label, text);
    label->set_xalign(xalign);
    return label;
}

void clear(Gtk::Box& box) {
    while (Gtk::Widget* child = box.get_first_child()) {
        box.remove(*child);
    }
}

}  // namespace

SheetWindow::SheetWindow() {
    set_title("Kivora");
    set_child(layout_);
    layout_.set_margin(16);

    setPlainText(title_, "");
    setAttributes(title_, 1.6, Pango::Weight::BOLD);
    title_.set_xalign(0);
    title_.set_ellipsize(Pango::EllipsizeMode::END);
    layout_.append(title_);

    setPlainText(message_, "");
    message_.set_wrap(true);
    message_.set_xalign(0);
    message_.set_visible(false);
    layout_.append(message_);

    search_.set_hexpand(true);
    search_.set_property("placeholder-text", Glib::ustring("Search shortcuts"));
    bar_.append(search_);
    switcher_.set_stack(stack_);
    bar_.append(switcher_);
    layout_.append(bar_);

    for (View view : {View::Menus, View::System}) {
        Page& p = page(view);
        p.note.set_xalign(0);
        p.note.set_visible(false);
        p.content.append(p.note);
        p.content.append(p.columns);
        p.scroller.set_child(p.content);
        p.scroller.set_vexpand(true);
        p.scroller.set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::AUTOMATIC);
        stack_.add(p.scroller, view == View::Menus ? "menus" : "system",
                   view == View::Menus ? "Menus" : "System");
    }
    layout_.append(stack_);
    // The switcher's buttons show their titles without naming themselves to screen readers.
    const char* titles[] = {"Menus", "System"};
    int index = 0;
    for (Gtk::Widget* button = switcher_.get_first_child(); button != nullptr && index < 2;
         button = button->get_next_sibling()) {
        describe(*button, titles[index++], "");
    }

    // Typing anywhere goes to the search field.
    search_.set_key_capture_widget(*this);
    search_.signal_search_changed().connect([this] {
        rebuild(View::Menus);
        rebuild(View::System);
    });
    search_.signal_activate().connect([this] { chooseFirstMatch(); });
    stack_.property_visible_child_name().signal_changed().connect([this] {
        if (currentView() == View::System && !systemShown_) {
            systemShown_ = true;
            if (onSystemViewShown) {
                onSystemViewShown();
            }
        }
    });

    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &SheetWindow::onKey), false);
    add_controller(keys);

    const std::size_t columns = columnCount();
    set_default_size(static_cast<int>(columns) * (kColumnWidth + 24) + 32, 560);
}

std::size_t SheetWindow::columnCount() const {
    int width = 1366;
    if (auto display = Gdk::Display::get_default()) {
        auto monitors = display->get_monitors();
        if (monitors && monitors->get_n_items() > 0) {
            if (auto monitor = std::dynamic_pointer_cast<Gdk::Monitor>(monitors->get_object(0))) {
                Gdk::Rectangle area;
                monitor->get_geometry(area);
                width = area.get_width();
            }
        }
    }
    // Nine tenths of the screen, leaving room for the window's margins.
    return static_cast<std::size_t>(std::max(1, (width * 9 / 10 - 32) / (kColumnWidth + 24)));
}

bool SheetWindow::onKey(guint keyval, guint, Gdk::ModifierType) {
    if (keyval == GDK_KEY_Escape) {
        close();
        return true;
    }
    // Enter runs the first match unless an item has the focus (it runs that one itself). The
    // search field may not have taken the text typed just before yet: ask the model.
    if ((keyval == GDK_KEY_Return || keyval == GDK_KEY_KP_Enter) &&
        dynamic_cast<Gtk::Button*>(get_focus()) == nullptr) {
        chooseFirstMatch();
        return true;
    }
    // Down from the search field goes to the first item; among items, the arrows move.
    if (keyval == GDK_KEY_Down && dynamic_cast<Gtk::Button*>(get_focus()) == nullptr) {
        if (Gtk::Button* first = page(currentView()).first) {
            first->grab_focus();
            return true;
        }
    }
    return false;
}

void SheetWindow::setMessage(const std::string& text, bool alert) {
    setPlainText(message_, text);
    message_.set_visible(!text.empty());
    if (alert) {
        message_.add_css_class("error");
    } else {
        message_.remove_css_class("error");
    }
}

void SheetWindow::setTitleText(const std::string& title) {
    setPlainText(title_, title);
    set_title(title.empty() ? "Kivora" : "Kivora: " + title);
}

void SheetWindow::whenPainted(std::function<void()> then) {
    auto clock = get_frame_clock();
    if (!clock) {
        return;
    }
    struct Pending {
        std::function<void()> then;
        gulong handler = 0;
    };
    auto* pending = new Pending{std::move(then)};
    pending->handler = g_signal_connect_data(
        clock->gobj(), "after-paint", G_CALLBACK(+[](GdkFrameClock* frameClock, gpointer data) {
            auto* p = static_cast<Pending*>(data);
            g_signal_handler_disconnect(frameClock, p->handler);
            p->then();
        }),
        pending, +[](gpointer data, GClosure*) { delete static_cast<Pending*>(data); },
        GConnectFlags{});
    queue_draw();
}

void SheetWindow::chooseFirstMatch() {
    const View view = currentView();
    const Sheet shown = filtered(page(view).sheet, search_.get_text().raw());
    if (!shown.groups.empty() && onChosen) {
        onChosen(view, shown.groups.front().items.front());
    }
}

View SheetWindow::currentView() const {
    return stack_.get_visible_child_name() == "system" ? View::System : View::Menus;
}

void SheetWindow::showSheet(View view, Sheet sheet) {
    page(view).sheet = std::move(sheet);
    rebuild(view);
}

Gtk::Widget* SheetWindow::groupWidget(View view, const Group& group, std::size_t& budget, Page& p) {
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    box->set_margin_start(16 * group.depth);
    box->set_margin_bottom(12);
    auto* heading = plainLabel(group.depth > 0 ? "\xE2\x96\xB8 " + group.label : group.label, 0);
    setAttributes(*heading, group.depth > 0 ? 1.0 : 1.15, Pango::Weight::BOLD);
    box->append(*heading);
    describe(*box, group.label, "");
    for (const Item& item : group.items) {
        if (budget == 0) {
            break;
        }
        --budget;
        auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
        auto* title = plainLabel(item.label, 0);
        title->set_hexpand(true);
        title->set_ellipsize(Pango::EllipsizeMode::END);
        title->set_max_width_chars(36);
        auto* keys = plainLabel(item.shortcut, 1);
        keys->add_css_class("dim-label");
        row->append(*title);
        row->append(*keys);
        auto* button = Gtk::make_managed<Gtk::Button>();
        button->add_css_class("flat");
        button->set_child(*row);
        describe(*button, item.label, item.shortcut);
        button->signal_clicked().connect([this, view, item] {
            if (onChosen) {
                onChosen(view, item);
            }
        });
        if (p.first == nullptr) {
            p.first = button;
        }
        box->append(*button);
    }
    return box;
}

void SheetWindow::rebuild(View view) {
    Page& p = page(view);
    clear(p.columns);
    p.first = nullptr;
    const Sheet shown = filtered(p.sheet, search_.get_text().raw());
    std::size_t budget = kMaxShownItems;
    for (const auto& column : splitIntoColumns(shown, columnCount())) {
        auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
        box->set_size_request(kColumnWidth, -1);
        for (std::size_t index : column) {
            if (budget > 0) {
                box->append(*groupWidget(view, shown.groups[index], budget, p));
            }
        }
        p.columns.append(*box);
    }
    const std::size_t total = shown.itemCount();
    if (total > kMaxShownItems) {
        setPlainText(p.note, std::to_string(total - kMaxShownItems) +
                                 " more shortcuts: type to narrow the sheet");
    } else if (total == 0 && !p.sheet.groups.empty()) {
        setPlainText(p.note, "No shortcut matches the search.");
    } else {
        setPlainText(p.note, "");
    }
    p.note.set_visible(!p.note.get_text().empty());
}

}  // namespace kivora::sheet
