#pragma once

class PageControl;
class QLabel;
class QPushButton;
class QWidget;

// The widgets the picture preview draws on: the small preview of the picture page with its
// two tabs and enlarge button, and the two enlargement pages of the detail page control.
// The browser owns them; the preview is their one other user.
struct PreviewWidgets {
    PageControl *thumbnailTabs = nullptr; // "Miniatura" (image), "GIF" (web view)
    QLabel *image = nullptr;
    QLabel *webView = nullptr;
    QPushButton *enlargeButton = nullptr;
    PageControl *detailPages = nullptr;
    QWidget *imageEnlargementPage = nullptr;
    QWidget *webEnlargementPage = nullptr;
    QLabel *imageEnlargement = nullptr;
    QLabel *webEnlargement = nullptr;
};
