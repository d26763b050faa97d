// The bound boxes of a window, and the one rule they follow.
//
// Each box shows its field's text for the current record. What the person types into a box,
// and text the program itself puts there, is kept and goes into the record when the record is
// posted, however the post comes about (the navigator, moving on, saving). Moving to another
// record, starting a new one or cancelling shows every box anew from the record and drops
// such text. Typing into a box of a record being browsed starts its edit; text the program
// puts there does not. A number field given text that is no integer, or one outside its range,
// stops the post with the engine's German message; the record stays being edited and the boxes
// keep what was typed.
//
// A Qt box is an adapter: it shows what `show` gives it and reports the person's typing
// through typed(). User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/DataSource.h"

namespace mv32::document {

class BoundFields : public DataLink {
public:
    explicit BoundFields(DataSource& source);
    ~BoundFields() override;
    BoundFields(const BoundFields&) = delete;
    BoundFields& operator=(const BoundFields&) = delete;

    // A box bound to the field `field`; `show` is told every text the box is to show. Returns
    // the box's number.
    int bind(std::string field, std::function<void(const std::string&)> show);
    // The person typed `text` into the box.
    void typed(int box, const std::string& text);
    // The program puts `text` into the box.
    void setText(int box, const std::string& text);
    const std::string& text(int box) const;
    // Whether the box holds text not yet stored into the record.
    bool changed(int box) const;
    // Whether typing can change the record (an active table open for writing).
    bool editable() const;
    // Shows every box anew from the current record, dropping text not yet stored.
    void reload();

    void activeChanged(DataSource&) override;
    void dataSetChanged(DataSource&, DataChange) override;
    void editingChanged(DataSource&) override;
    void updateRecord(DataSource&) override;

private:
    struct Box {
        std::string field;
        std::function<void(const std::string&)> show;
        std::string text;
        bool changed = false;
    };
    void display(Box& b, const std::string& text);

    DataSource& source_;
    std::vector<Box> boxes_;
    DataState lastState_ = DataState::Inactive;
};

}  // namespace mv32::document
