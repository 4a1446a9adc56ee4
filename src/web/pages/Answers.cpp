#include "web/pages/Answers.h"

#include <iostream>

#include "server/PgConnection.h"
#include "web/Html.h"
#include "web/pages/PageParts.h"

namespace quil::web {

WebError::WebError(int status)
    : std::runtime_error("HTTP " + std::to_string(status)), status_(status) {}

void sendHtml(http::Response& res, int status, const std::string& html) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(html, "text/html; charset=utf-8");
}

void redirect(http::Response& res, const std::string& to) {
    res.status = 303;
    res.set_header("Cache-Control", "no-store");
    res.set_header("Location", to);
}

namespace {

std::string refusedForm(const std::string& why) {
    return page("送信できません", "<h1>送信できません</h1>\n<p>" + why + "</p>\n" + backLink());
}

}  // namespace

std::string statusPage(int status) {
    switch (status) {
        case 400:
            return refusedForm(
                "フォームの内容が正しくありません。"
                "もう一度ページを開いて入力し直してください。");
        case 403:
            return refusedForm(
                "このフォームは使えなくなっています"
                " (ログインし直したか、古いページから送信しました)。"
                "もう一度ページを開いて入力し直してください。");
        case 404:
            return page("見つかりません",
                        "<h1>見つかりません</h1>\n<p>お探しのページや記録はありません。</p>\n" +
                            backLink());
        case 413: return refusedForm("送信された内容が大きすぎます。入力を短くしてください。");
        case 429:
            return page("しばらくお待ちください",
                        "<h1>しばらくお待ちください</h1>\n<p>短い間にアクセスが多すぎます。"
                        "1分ほど待ってからもう一度開いてください。</p>\n");
        case 503:
            return page(
                "ただいま使えません",
                "<h1>ただいま使えません</h1>\n<p>台帳のデータベースにつながりません。"
                "しばらく待ってからもう一度開いてください。続くときは事務所に連絡してください。"
                "</p>\n");
        default:
            return page(
                "エラー",
                "<h1>エラーが起きました</h1>\n<p>申し訳ありません。処理できませんでした。"
                "しばらく待ってからもう一度試してください。続くときは事務所に連絡してください。"
                "</p>\n" +
                    backLink());
    }
}

void answerStatus(http::Response& res, int status) {
    sendHtml(res, status, statusPage(status));
    if (status == 429) {
        res.set_header("Retry-After", "60");
        res.set_header("Connection", "close");
    }
}

void answerFailure(const http::Request& req, http::Response& res, std::exception_ptr failure) {
    int status = 500;
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const WebError& e) {
        status = e.status();
    } catch (const server::ServerError& e) {
        std::cerr << "quil-web: " << req.method << ' ' << req.path << ": " << e.what() << std::endl;
        if (e.kind() == server::ServerError::Kind::Connection) status = 503;
    } catch (const std::exception& e) {
        std::cerr << "quil-web: " << req.method << ' ' << req.path << ": " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "quil-web: " << req.method << ' ' << req.path << ": unknown error"
                  << std::endl;
    }
    // A redirection begun before the failure is not followed.
    res.headers.erase("Location");
    answerStatus(res, status);
}

}  // namespace quil::web
