// Children looked up by a type with a meta-object of its own and by one without.
class Plain : public QLabel {
public:
    int shown = 0;
};

class Meta final : public QLabel {
    Q_OBJECT
public:
    int shown = 0;
};

void count(QWidget *w) {
    for (Plain *p : w->findChildren<Plain *>())
        ++p->shown;
    if (auto *m = w->findChild<const Meta *>()) (void)m;
}
