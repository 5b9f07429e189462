#pragma once
// SIGINT and SIGTERM end a command's reception early (and normally) while
// the scope lives; the command polls interrupted().
namespace VapixcamCli {

class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    static bool interrupted();

private:
    void (*previousInt_)(int);
    void (*previousTerm_)(int);
};

} // namespace VapixcamCli
