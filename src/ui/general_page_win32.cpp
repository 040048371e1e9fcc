// The General page (dialog 107): the server's address and mask, the servers
// and routers handed to clients, the domain and the lease time. The
// decisions are in general_page.cpp; this moves text in and out.
#include "config/server_settings.h"
#include "base/text_string.h"
#include "ui/general_page.h"
#include "ui/pages_win32.h"
#include "ui/properties.h"
#include "ui/ui_resource.h"

namespace {

constexpr int ADDRESS_LIMIT = 15;
constexpr int TEXT_LIMIT = 255;

struct TextField {
    int id;
    std::string GeneralFields::*field;
    int limit;
};

const TextField TEXT_FIELDS[] = {
    {IDC_SERVER_ADDRESS, &GeneralFields::IPAddress, ADDRESS_LIMIT},
    {IDC_SUBNET_MASK, &GeneralFields::SubnetMask, ADDRESS_LIMIT},
    {IDC_DNS_SERVERS, &GeneralFields::DNSServer, TEXT_LIMIT},
    {IDC_WINS_SERVERS, &GeneralFields::WINSServer, TEXT_LIMIT},
    {IDC_ROUTERS, &GeneralFields::Routers, TEXT_LIMIT},
    {IDC_DOMAIN, &GeneralFields::DomainName, TEXT_LIMIT},
};

const int LEASE_TIME_CONTROLS[] = {IDC_DAYS_LABEL, IDC_DAYS, IDC_HOURS_LABEL, IDC_HOURS, IDC_MINUTES_LABEL, IDC_MINUTES};

void LimitText(HWND page, int id, int limit) { SendDlgItemMessageA(page, id, EM_LIMITTEXT, limit, 0); }

void EnableLeaseTime(HWND page) {
    const bool limited = IsTicked(page, IDC_LIMITED);
    for (int id : LEASE_TIME_CONTROLS) EnableControl(page, id, limited);
}

// "Nimbo V<version>" and the about text, from the string table.
void ShowAboutLine(HWND page) {
    TextString about(LoadResourceString(IDS_ABOUT, MESSAGE_TEXT_LIMIT).c_str());
    about.replaceAll("%.20s", LoadResourceString(IDS_VERSION, 20).c_str());
    SetControlText(page, IDC_ABOUT, about.text());
}

BOOL OnInitDialog(HWND page) {
    ShowAboutLine(page);
    const GeneralFields fields = GeneralPageFields(*CurrentSettings());
    for (const TextField& text : TEXT_FIELDS) {
        SetControlText(page, text.id, fields.*text.field);
        LimitText(page, text.id, text.limit);
    }
    CheckRadioButton(page, IDC_UNLIMITED, IDC_LIMITED, fields.leaseTime.unlimited ? IDC_UNLIMITED : IDC_LIMITED);
    SetControlText(page, IDC_DAYS, fields.leaseTime.days);
    SetControlText(page, IDC_HOURS, fields.leaseTime.hours);
    SetControlText(page, IDC_MINUTES, fields.leaseTime.minutes);
    EnableLeaseTime(page);
    LimitText(page, IDC_DAYS, 3);
    LimitText(page, IDC_HOURS, 2);
    LimitText(page, IDC_MINUTES, 2);
    return TRUE;
}

INT_PTR OnValidate(HWND page) {
    switch (CheckGeneralPage(ControlText(page, IDC_SERVER_ADDRESS, TEXT_LIMIT).c_str(),
                             ControlText(page, IDC_SUBNET_MASK, TEXT_LIMIT).c_str())) {
        case GeneralField::ServerAddress:
            return AnswerValidate(page, RefuseField(page, IDC_SERVER_ADDRESS, IDS_NOT_AN_ADDRESS));
        case GeneralField::SubnetMask:
            return AnswerValidate(page, RefuseField(page, IDC_SUBNET_MASK, IDS_NOT_A_MASK));
        default:
            return AnswerValidate(page, false);
    }
}

void OnDestroy(HWND page) {
    GeneralFields fields;
    for (const TextField& text : TEXT_FIELDS) fields.*text.field = ControlText(page, text.id, TEXT_LIMIT);
    fields.leaseTime.unlimited = IsTicked(page, IDC_UNLIMITED);
    fields.leaseTime.days = ControlText(page, IDC_DAYS, TEXT_LIMIT);
    fields.leaseTime.hours = ControlText(page, IDC_HOURS, TEXT_LIMIT);
    fields.leaseTime.minutes = ControlText(page, IDC_MINUTES, TEXT_LIMIT);
    StoreGeneralPage(fields);
}

}  // namespace

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_UNLIMITED || LOWORD(wParam) == IDC_LIMITED) {
                if (HIWORD(wParam) == BN_CLICKED) OnRadioClick(page, IDC_UNLIMITED, IDC_LIMITED, LOWORD(wParam));
                EnableLeaseTime(page);
            }
            return FALSE;
        case MSG_VALIDATE_PAGE:
            return OnValidate(page);
        case WM_HELP:
            OpenHelp(page);
            return TRUE;
        case WM_DESTROY:
            OnDestroy(page);
            return FALSE;
        default:
            return FALSE;
    }
}
