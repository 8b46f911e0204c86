#include "rds/alerts.h"

void AddAlert(TAlertArray& Alerts, TAlertType AlertType, const std::string& Name, const std::string& Description)
{
    TAlert A;
    A.AlertType = AlertType;
    A.Name = Name;
    A.Description = Description;
    A.Confirmed = false;
    Alerts.push_back(std::move(A));
}
