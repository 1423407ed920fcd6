#pragma once
#include <QWidget>

// The account dialog: registers, lists, deletes and logs in accounts.
class TForm3 : public QWidget {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);
};

extern TForm3* Form3;
