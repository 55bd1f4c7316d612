<%@ page contentType="text/html; charset=UTF-8" pageEncoding="UTF-8" %>
<p>grüße, <%= "€ and \uD834\uDD1E" %></p>
