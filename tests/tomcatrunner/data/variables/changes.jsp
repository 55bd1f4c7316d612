<%@ page contentType="text/html; charset=UTF-8" %>
<% java.util.HashMap<String, Integer> basket = new java.util.HashMap<>(); %>
<% application.setAttribute("step", 1); pageContext.setAttribute("mark", "a"); basket.put("apple", 1); %>
<% application.setAttribute("step", 2); pageContext.setAttribute("mark", "b"); basket.put("apple", 2); basket.put("pear", 1); %>
<% application.removeAttribute("step"); pageContext.removeAttribute("mark"); basket.remove("apple"); %>
<p><%= basket %></p>
