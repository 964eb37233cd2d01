#pragma once

#include "ToolWindowController.h"

#include <QColor>
#include <QMouseEvent>

class ClickableLabel;
class QColorDialog;
class QGroupBox;
class UserSettings;

// Help > Preferences: the usage tracking switch, stored the moment it changes,
// and the viewport's background colour, previewed live while the colour
// dialog is open, stored when chosen and restored when the dialog is cancelled.
class PreferencesWindowController : public ToolWindowController {
    Q_OBJECT
public:
    PreferencesWindowController(UserSettings& settings, QWidget* mainWindow, QObject* parent = nullptr);

    // The swatch's look for a colour.
    static QString swatchStyleSheet(const QColor& color);
    // The stored background colour; the default when what is stored is no
    // colour, so that it is never stored back.
    static QColor storedBackgroundColor(const UserSettings& settings);

signals:
    // The viewport shows this colour from now on: a preview, a choice, or the
    // stored colour again after a cancelled preview.
    void backgroundColorPreviewed(const QColor& color);

public slots:
    void showPreferencesWindow();
    void labelClicked(QMouseEvent* event);
    void colorSelected(const QColor& color);
    void colorPickerCanceled();
    void stateChanged(int state);

protected:
    QWidget* createWindow() override;
    Qt::WindowFlags extraWindowFlags() const override { return Qt::WindowStaysOnTopHint; }

private:
    QGroupBox* createGeneralGroup();
    QGroupBox* createAppearanceGroup();
    void createColorDialog(QWidget* window);

    UserSettings& m_settings;
    QGroupBox* m_generalGroup = nullptr;
    QGroupBox* m_appearanceGroup = nullptr;
    ClickableLabel* m_swatch = nullptr;
    QColorDialog* m_colorDialog = nullptr;
    QColor m_confirmedColor;
};
