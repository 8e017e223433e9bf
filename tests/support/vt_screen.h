// A real terminal emulator (libvterm) that the tests pour the library's
// output into, so that assertions can speak of what a user would see.
#pragma once

#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

class VtScreen {
  public:
    VtScreen(int rows, int cols);
    ~VtScreen();
    VtScreen(const VtScreen &) = delete;
    VtScreen &operator=(const VtScreen &) = delete;

    void feed(std::string_view bytes);
    // Resizes the emulated terminal as a window resize would (libvterm keeps
    // each row's cells where they are; it does not rewrap).
    void resize(int rows, int cols);
    // The row's text as UTF-8, trailing blanks removed.
    std::string row(int r) const;
    // Every row joined with '\n', trailing blank rows kept.
    std::string dump() const;
    int cursor_row() const;
    int cursor_col() const;
    int rows() const { return rows_; }
    int cols() const { return cols_; }

  private:
    VTerm *vt_;
    VTermScreen *screen_;
    int rows_, cols_;
};
