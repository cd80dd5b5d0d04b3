#include "portlist/port_combo.h"

#include <QByteArray>
#include <QVariant>

#include "link/port_discovery.h"
#include "link/serial_port.h"

namespace norvane {
namespace {

class ComboPortList final : public PortListView {
  public:
    explicit ComboPortList(QComboBox& combo) : combo_(combo) {}

    int AddString(std::string_view entry) override {
        const QByteArray bytes(entry.data(), static_cast<qsizetype>(entry.size()));
        // A QComboBox selects its first entry by itself; a Windows list keeps "no selection"
        // until SetCurSel.
        const int selected = combo_.currentIndex();
        combo_.addItem(QString::fromUtf8(bytes), bytes);
        if (combo_.currentIndex() != selected) {
            combo_.setCurrentIndex(selected);
        }
        return combo_.count() - 1;
    }
    void SetCurSel(int index) override {
        combo_.setCurrentIndex(index);
        preselected = combo_.currentIndex() >= 0;
    }

    bool preselected = false;

  private:
    QComboBox& combo_;
};

}  // namespace

bool FillPortCombo(QComboBox& combo) {
    combo.clear();
    ComboPortList list(combo);
    FillPortList(list);
    return list.preselected;
}

std::string PortComboEntry(const QComboBox& combo, int index) {
    if (index < 0 || index >= combo.count()) {
        return {};
    }
    const QVariant bytes = combo.itemData(index);
    return bytes.isValid() ? bytes.toByteArray().toStdString()
                           : combo.itemText(index).toStdString();
}

bool SelectPortDevice(QComboBox& combo, std::string_view devicePath) {
    for (int i = 0; i < combo.count(); ++i) {
        if (PortDevicePath(PortComboEntry(combo, i)) == devicePath) {
            combo.setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

}  // namespace norvane
